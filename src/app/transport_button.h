#pragma once
// A plain transport button of the top strip: a 15 x 15 glyph (play, pause or
// stop) in a dim or a lit look. BitmapIndex selects the picture the same way as
// an index into the window's six transport images: 0 play dim, 1 play lit,
// 2 pause dim, 3 pause lit, 4 stop dim, 5 stop lit.
#include "framework/control.h"

namespace qv {

class TTransportButton : public TControl {
    Q_OBJECT
    Q_PROPERTY(int32_t BitmapIndex READ BitmapIndex WRITE SetBitmapIndex)
public:
    static constexpr TColor DimColor = clTeal;
    static constexpr TColor LitColor = clAqua;

    explicit TTransportButton(TComponent* AOwner = nullptr);

    // -1 shows nothing; values past 5 show nothing either.
    int32_t BitmapIndex() const { return FBitmapIndex; }
    void SetBitmapIndex(int32_t v);
    bool Lit() const { return FBitmapIndex >= 0 && FBitmapIndex % 2 == 1; }

protected:
    void Paint() override;

private:
    int32_t FBitmapIndex = -1;
};

// Registers TTransportButton.
void RegisterTransportButton();

} // namespace qv
