#pragma once

#include <QProxyStyle>
#include <memory>

// The application's style with the channel tree's own parts drawn the classic way: dotted lines
// from parent to children with a small boxed plus or minus on every item that has children, a
// plain item background (the selected item too, in the view's colours) and a dotted focus
// rectangle around the focused item.
class ClassicTreeStyle : public QProxyStyle
{
    Q_OBJECT

public:
    ClassicTreeStyle();
    ~ClassicTreeStyle() override;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    std::unique_ptr<QStyle> m_classic;
};
