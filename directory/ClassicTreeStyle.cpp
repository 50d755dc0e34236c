#include "directory/ClassicTreeStyle.h"

#include <QStyleFactory>

ClassicTreeStyle::ClassicTreeStyle() : m_classic(QStyleFactory::create(QStringLiteral("Windows")))
{
}

ClassicTreeStyle::~ClassicTreeStyle() = default;

void ClassicTreeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                     QPainter* painter, const QWidget* widget) const
{
    switch (element) {
    case PE_IndicatorBranch:
    case PE_PanelItemViewItem:
    case PE_PanelItemViewRow:
    case PE_FrameFocusRect:
        if (m_classic) {
            m_classic->drawPrimitive(element, option, painter, widget);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
