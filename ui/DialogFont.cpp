#include "ui/DialogFont.h"

#include <QStringList>

QFont DialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}
