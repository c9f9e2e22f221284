#pragma once
// TBitmap: a picture held as a QImage (BMP files and any format Qt reads), with
// a change notice so that its owner can react when it is assigned or loaded.
#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "framework/exceptions.h"

namespace qv {

QV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

class TBitmap : public QObject {
    Q_OBJECT
    Q_PROPERTY(int32_t Width READ Width)
    Q_PROPERTY(int32_t Height READ Height)
public:
    TBitmap() = default;
    ~TBitmap() override = default;

    bool Empty() const { return FImage.isNull() || FImage.width() == 0 || FImage.height() == 0; }
    int32_t Width() const { return FImage.width(); }
    int32_t Height() const { return FImage.height(); }
    const QImage& Image() const { return FImage; }
    // Replaces the picture (a null image empties it) and fires OnChange.
    void SetImage(const QImage& Image);
    // Copies another bitmap's picture (none: empties this one).
    void Assign(const TBitmap* Source);
    void Clear() { SetImage(QImage()); }
    // A BMP (or other image) file's bytes; raises EInvalidGraphic
    // ("Bitmap image is not valid") and keeps the old picture when they are not one.
    void LoadFromData(const QByteArray& Data);
    void LoadFromFile(const QString& FileName);

    std::function<void(TBitmap* Sender)> OnChange;

private:
    QImage FImage;
};

} // namespace qv
