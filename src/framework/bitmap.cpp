#include "framework/bitmap.h"

#include <QFile>

#include "framework/exceptions.h"

namespace qv {

void TBitmap::SetImage(const QImage& Image)
{
    FImage = Image;
    if (OnChange)
        OnChange(this);
}

void TBitmap::Assign(const TBitmap* Source)
{
    if (Source == this)
        return;
    SetImage(Source ? Source->FImage : QImage());
}

void TBitmap::LoadFromData(const QByteArray& Data)
{
    QImage img;
    if (!img.loadFromData(Data) || img.isNull())
        throw EInvalidGraphic("Bitmap image is not valid");
    SetImage(img);
}

void TBitmap::LoadFromFile(const QString& FileName)
{
    QFile f(FileName);
    if (!f.open(QIODevice::ReadOnly))
        throw EInvalidGraphic("Cannot open file \"" + FileName.toStdString() + "\"");
    LoadFromData(f.readAll());
}

} // namespace qv
