#include "directory/ChannelTree.h"

#include "app/AnsiText.h"
#include "directory/ChannelDirectory.h"
#include "directory/ClassicTreeStyle.h"
#include "directory/Favourites.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>

// A static library's resources are registered by hand; outside any namespace, as the macro asks.
static void InitChannelTreeResources()
{
    Q_INIT_RESOURCE(channeltree);
}

namespace {

// The catalogue bytes of an item's name, kept beside its text: five Windows-1252 bytes have no
// character of their own, so the text alone cannot always give them back.
constexpr int kNameBytesRole = Qt::UserRole + 1;

const char* const kPictureFiles[2] = {":/channeltree/speaker.png",
                                      ":/channeltree/speaker_waves.png"};

// Counts the user's own input while it is handled, so that only selection changes made by the
// user start a channel and the program's own (filling, showing the playing channel) do not.
auto CountUserInput(int& depth)
{
    ++depth;
    return qScopeGuard([&depth] { --depth; });
}

QPalette BlackOnWhite(QPalette palette)
{
    // Every item, the selected one too, is black on white; the selected channel shows itself by
    // its picture with sound waves.
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Window, Qt::white);
        palette.setColor(group, QPalette::Highlight, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
        palette.setColor(group, QPalette::HighlightedText, Qt::black);
        palette.setColor(group, QPalette::WindowText, Qt::black);
    }
    return palette;
}

} // namespace

CMediaView::CMediaView(ChannelDirectory& directory, QWidget* parent)
    : QTreeWidget(parent), m_directory(directory)
{
    // The view does not own its style; as a child it goes with the view.
    auto* classic = new ClassicTreeStyle;
    classic->setParent(this);
    setStyle(classic);
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Right clicks are handled as clicks (menu on release), never as Qt context-menu events.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setIconSize(QSize(kPictureWidth, kPictureHeight));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setPalette(BlackOnWhite(palette()));
    setAutoFillBackground(true);

    connect(this, &QTreeWidget::itemSelectionChanged, this, &CMediaView::OnSelectionChanged);
    connect(this, &QTreeWidget::itemCollapsed, this, &CMediaView::OnItemCollapsed);
}

void CMediaView::SetupImages()
{
    InitChannelTreeResources();
    for (int i = 0; i < 2; ++i) {
        // The pictures are drawn one column wider than the tree shows; black is transparent.
        QPixmap picture = QPixmap(QString::fromLatin1(kPictureFiles[i]))
                              .copy(0, 0, kPictureWidth, kPictureHeight);
        picture.setMask(picture.createMaskFromColor(Qt::black, Qt::MaskInColor));
        m_pictures[i] = picture;
    }
    m_channelIcon = QIcon();
    m_channelIcon.addPixmap(m_pictures[0], QIcon::Normal);
    m_channelIcon.addPixmap(m_pictures[1], QIcon::Selected);
}

QIcon CMediaView::ChannelIcon() const
{
    return m_channelIcon;
}

QTreeWidgetItem* CMediaView::AddRoot()
{
    static const QByteArray kRootText("Radio Channels");
    auto* root = new QTreeWidgetItem(this);
    root->setText(0, DecodeAnsi(kRootText));
    root->setData(0, kNameBytesRole, kRootText);
    return root;
}

QTreeWidgetItem* CMediaView::AddChannel(QTreeWidgetItem* root, const QByteArray& name,
                                        bool startable)
{
    if (!root)
        return nullptr;
    auto* item = new QTreeWidgetItem(root);
    item->setText(0, DecodeText(m_directory.Encoding(), name));
    item->setData(0, kNameBytesRole, name);
    item->setIcon(0, m_channelIcon);
    if (!startable) {
        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        // The tree's palette is black on white in every state; this item's text is the
        // desktop's grey of a disabled text.
        item->setForeground(0, QColor(128, 128, 128));
    }
    root->setExpanded(true);
    scrollToItem(item);
    return item;
}

void CMediaView::AddChannels(QTreeWidgetItem* root, const std::vector<QByteArray>& names)
{
    if (!root || names.empty())
        return;
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(names.size()));
    for (const QByteArray& name : names) {
        auto* item = new QTreeWidgetItem();
        item->setText(0, DecodeText(m_directory.Encoding(), name));
        item->setData(0, kNameBytesRole, name);
        item->setIcon(0, m_channelIcon);
        items.append(item);
    }
    root->addChildren(items);
    root->setExpanded(true);
    scrollToItem(items.back());
}

void CMediaView::MarkSelected(QTreeWidgetItem* item, bool alongside)
{
    if (!item)
        return;
    const bool wasMarking = m_marking;
    m_marking = true;
    setCurrentItem(item, 0,
                   alongside ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect);
    m_marking = wasMarking;
}

void CMediaView::AddToMyChannels(QTreeWidgetItem* item)
{
    if (!item || item->childCount() > 0)
        return;
    m_directory.AddFavourite(ItemName(item));
}

void CMediaView::RemoveFromMyChannels(QTreeWidgetItem* item)
{
    if (!item || item->childCount() > 0)
        return;
    m_directory.RemoveFavourite(ItemName(item));
}

QByteArray CMediaView::ItemName(const QTreeWidgetItem* item)
{
    if (!item)
        return QByteArray();
    const QString text = item->text(0);
    const QVariant bytes = item->data(0, kNameBytesRole);
    // The kept bytes count only while they still are what the item shows.
    if (bytes.typeId() == QMetaType::QByteArray) {
        const QByteArray kept = bytes.toByteArray();
        if (DecodeAnsi(kept) == text || QString::fromUtf8(kept) == text)
            return kept;
    }
    return EncodeAnsi(text);
}

QByteArray CMediaView::InfoTip(const ChannelList& list, const QByteArray& name, int bufferLength)
{
    if (bufferLength <= 0)
        return QByteArray();
    const QByteArray text = InfoTextForName(list, name);
    qsizetype keep = std::min<qsizetype>(text.size(), bufferLength - 1);
    // A UTF-8 text is cut before a character, never inside one.
    while (list.encoding == TextEncoding::Utf8 && keep > 0 && keep < text.size() &&
           (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
        --keep;
    return text.left(keep);
}

void CMediaView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // A right press neither selects nor starts anything; the release opens the menu.
        m_rightPressed = true;
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && !m_inDoubleClick) {
        m_leftPressed = true;
        m_leftDragged = false;
        m_leftPressPos = event->position().toPoint();
    }
    const auto input = CountUserInput(m_userInputDepth);
    QTreeWidget::mousePressEvent(event);
}

void CMediaView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        if (!m_rightPressed)
            return;
        m_rightPressed = false;
        ShowContextMenu(event->position().toPoint(), event->globalPosition().toPoint());
        return;
    }
    {
        const auto input = CountUserInput(m_userInputDepth);
        QTreeWidget::mouseReleaseEvent(event);
    }
    if (event->button() == Qt::LeftButton && m_leftPressed) {
        m_leftPressed = false;
        // A drag is no click: it selects and starts nothing.
        if (m_leftDragged)
            return;
        // The item pressed on (its picture or text, not its expand button) becomes the
        // selected one once the press turned out to be a click.
        QTreeWidgetItem* pressed = itemAt(m_leftPressPos);
        if (pressed && visualItemRect(pressed).contains(m_leftPressPos)) {
            // A greyed row is a row, not empty space: it starts nothing, and neither does the
            // selected channel it would otherwise restart.
            if (!(pressed->flags() & Qt::ItemIsSelectable))
                return;
            const auto input = CountUserInput(m_userInputDepth);
            setCurrentItem(pressed, 0, QItemSelectionModel::ClearAndSelect);
        }
        // A click anywhere in the tree, also on empty space or on a parent's expand button,
        // starts the selected channel again.
        StartSelectedChannel();
    }
}

void CMediaView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is no click of its own; it only expands or collapses.
    m_leftPressed = false;
    m_inDoubleClick = true;
    {
        const auto input = CountUserInput(m_userInputDepth);
        QTreeWidget::mouseDoubleClickEvent(event);
    }
    m_inDoubleClick = false;
}

void CMediaView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_leftPressed && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_leftPressPos).manhattanLength() >=
            QApplication::startDragDistance())
        m_leftDragged = true;
    const auto input = CountUserInput(m_userInputDepth);
    QTreeWidget::mouseMoveEvent(event);
}

void CMediaView::keyPressEvent(QKeyEvent* event)
{
    // Enter starts the selected channel again, as a click does; the window has no default
    // button for it to press.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        StartSelectedChannel();
        return;
    }
    const auto input = CountUserInput(m_userInputDepth);
    QTreeWidget::keyPressEvent(event);
}

bool CMediaView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (!ShowInfoTip(help->pos(), help->globalPos())) {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

QItemSelectionModel::SelectionFlags CMediaView::selectionCommand(const QModelIndex& index,
                                                                 const QEvent* event) const
{
    // A click on empty space keeps the selection: it restarts the selected channel instead.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    // The left button selects when it is released without a drag (mouseReleaseEvent), as the
    // desktop's tree does: neither the press nor a move across the items selects anything.
    if (event && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
                  event->type() == QEvent::MouseButtonRelease))
        return QItemSelectionModel::NoUpdate;
    return QTreeWidget::selectionCommand(index, event);
}

void CMediaView::OnSelectionChanged()
{
    if (m_userInputDepth == 0 || m_marking)
        return;
    StartSelectedChannel();
}

void CMediaView::OnItemCollapsed(QTreeWidgetItem* parent)
{
    // As in the desktop's tree: a selected channel that disappears into its parent hands the
    // selection to that parent, which starts nothing; a later click on empty space then has no
    // hidden channel to restart.
    const QList<QTreeWidgetItem*> selected = selectedItems();
    const bool hidesSelection =
        std::any_of(selected.begin(), selected.end(), [parent](const QTreeWidgetItem* item) {
            for (const QTreeWidgetItem* up = item->parent(); up; up = up->parent())
                if (up == parent)
                    return true;
            return false;
        });
    if (hidesSelection)
        setCurrentItem(parent, 0, QItemSelectionModel::ClearAndSelect);
}

void CMediaView::StartSelectedChannel()
{
    if (!QApplication::activeWindow())
        return;
    const QTreeWidgetItem* item = SelectedItem();
    if (!item || item->childCount() > 0)
        return;
    const QByteArray name = ItemName(item);
    if (name.isEmpty())
        return;
    Q_EMIT StartChannelRequested(name);
}

QTreeWidgetItem* CMediaView::SelectedItem() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void CMediaView::ShowContextMenu(const QPoint& viewportPos, const QPoint& globalPos)
{
    // The item is found before the menu opens; there may be none, and the menu shows anyway.
    QTreeWidgetItem* item = itemAt(viewportPos);
    const bool channel = item && item->childCount() == 0;
    // A favourite shown greyed can still be removed.
    const bool removable = channel && m_directory.IsFavourite(ItemName(item));
    // A name the favourites file cannot hold (a "#" in it) can never be added: say so at once.
    const bool addable = !channel || CanBeFavourite(ItemName(item));
    switch (ExecContextMenu(globalPos, addable, removable)) {
    case kCommandAddToMyChannels:
        AddToMyChannels(item);
        break;
    case kCommandRemoveFromMyChannels:
        RemoveFromMyChannels(item);
        break;
    default:
        break;
    }
}

int CMediaView::ExecContextMenu(const QPoint& globalPos, bool addable, bool removable)
{
    window()->raise();
    window()->activateWindow();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("ChannelTreeMenu"));
    QAction* add = menu.addAction(QStringLiteral("Add to My Channels"));
    add->setData(kCommandAddToMyChannels);
    add->setEnabled(addable);
    QAction* remove = menu.addAction(QStringLiteral("Remove from My Channels"));
    remove->setData(kCommandRemoveFromMyChannels);
    remove->setEnabled(removable);
    const QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

bool CMediaView::ShowInfoTip(const QPoint& viewportPos, const QPoint& globalPos)
{
    const QTreeWidgetItem* item = itemAt(viewportPos);
    if (!item)
        return false;
    const QByteArray tip = InfoTip(m_directory.Channels(), ItemName(item));
    if (tip.isEmpty())
        return false;
    // The catalogue's text is shown as it stands, never read as markup.
    QString text = DecodeText(m_directory.Encoding(), tip);
    if (Qt::mightBeRichText(text))
        text = Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
    QToolTip::showText(globalPos, text, viewport(), visualItemRect(item));
    return true;
}
