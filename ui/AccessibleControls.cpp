#include "ui/AccessibleControls.h"

#include "app/AnsiText.h"
#include "ui/ColorStatic.h"
#include "ui/GroupBox.h"
#include "ui/RadioButton.h"

#include <QAccessibleWidget>

namespace {

// Window text is read into a 256-character buffer by the window system this look comes from;
// the option button shows and says at most this much.
constexpr int kMaxOptionText = 255;

class AccessibleOptionButton : public QAccessibleWidget
{
public:
    explicit AccessibleOptionButton(CRadioButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? SpokenText(Button()->text().left(kMaxOptionText)) : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Button()->IsSelected() == 1;
        state.pressed = Button()->isDown();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction() << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == toggleAction() || action == pressAction()) {
            // As a click: selects the button and reports it, also when it was selected.
            if (widget()->isEnabled())
                Button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString& action) const override
    {
        if (action == toggleAction() || action == pressAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(action);
    }

private:
    CRadioButton* Button() const { return static_cast<CRadioButton*>(widget()); }
};

// A text line or a group caption: the words the control paints, and nothing to act on.
class AccessibleCaption : public QAccessibleWidget
{
public:
    AccessibleCaption(QWidget* widget, QAccessible::Role role, QByteArray (*caption)(QWidget*))
        : QAccessibleWidget(widget, role), m_caption(caption)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? SpokenText(DecodeAnsi(m_caption(widget()))) : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        // Clicks go through these controls; they never take the focus.
        state.focusable = false;
        return state;
    }

private:
    QByteArray (*m_caption)(QWidget*);
};

QByteArray StaticText(QWidget* widget)
{
    return static_cast<CColorStatic*>(widget)->Text();
}

QByteArray GroupCaption(QWidget* widget)
{
    return static_cast<CGroupBox*>(widget)->Caption();
}

QAccessibleInterface* AccessibleControlFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("CRadioButton"))
        return new AccessibleOptionButton(static_cast<CRadioButton*>(widget));
    if (className == QLatin1String("CColorStatic"))
        return new AccessibleCaption(widget, QAccessible::StaticText, &StaticText);
    if (className == QLatin1String("CGroupBox"))
        return new AccessibleCaption(widget, QAccessible::Grouping, &GroupCaption);
    return nullptr;
}

} // namespace

void InstallAccessibleControls()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(&AccessibleControlFactory);
}

QString SpokenText(const QString& text)
{
    QString spoken;
    spoken.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == QLatin1Char('&')) {
            // "&&" says one "&"; a lone "&" before a letter only marks it.
            if (i + 1 >= text.size())
                break;
            c = text[++i];
        }
        spoken.append(c == QLatin1Char('\n') ? QLatin1Char(' ') : c);
    }
    return spoken.simplified();
}
