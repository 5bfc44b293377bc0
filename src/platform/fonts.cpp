#include "platform/fonts.h"

#include <QStringList>

namespace tarvik {

void InstallFontSubstitutes()
{
    const QStringList fallbacks{kWindowFontSubstitute, "IPAexGothic", "Noto Sans Mono CJK JP", "DejaVu Sans Mono",
                                "Monospace"};
    QFont::insertSubstitutions(QString::fromUtf8(kWindowFontFamily), fallbacks);
    QFont::insertSubstitutions("MS Gothic", fallbacks);
}

QFont WindowFont(int pixelHeight)
{
    QFont f(QString::fromUtf8(kWindowFontFamily));
    f.setPixelSize(pixelHeight);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

}  // namespace tarvik
