#pragma once

#include "directory/ChannelCatalogue.h"

class ChannelDirectory;

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QTreeWidget>
#include <array>
#include <vector>

class QTreeWidgetItem;

// The tree in which the radio window lists a country's channels under one parent item. A
// channel is a leaf whose text is the channel's name; items with children only group and never
// start anything. The tree asks for a channel to be started when the user selects or clicks
// one, or presses Enter on it; it does not own the player. It is a view of the channel
// directory: it reads names, tool tips and favourites from it, and its context menu asks it to
// add a channel to the favourites or remove one; it writes no file itself.
class CMediaView : public QTreeWidget
{
    Q_OBJECT

public:
    // The commands of the context menu, in its order.
    static constexpr int kCommandAddToMyChannels = 198;
    static constexpr int kCommandRemoveFromMyChannels = 199;
    // Characters the tool-tip buffer holds, its closing zero included: a tip keeps at most one
    // character fewer.
    static constexpr int kInfoTipBufferLength = 1024;
    // The two 11 x 12 pictures: 0 a small loudspeaker, 1 the same with sound waves.
    static constexpr int kPictureWidth = 11;
    static constexpr int kPictureHeight = 12;

    explicit CMediaView(ChannelDirectory& directory, QWidget* parent = nullptr);

    // Makes the two pictures; the radio window calls it once after creating the tree.
    void SetupImages();
    // The picture of a channel item: picture 0, picture 1 while the item is selected.
    QIcon ChannelIcon() const;
    const std::array<QPixmap, 2>& Pictures() const { return m_pictures; }

    // The parent item "Radio Channels", text only, at the end of the top level.
    QTreeWidgetItem* AddRoot();
    // A channel item under `root`, at the end, with the channel picture; the root is expanded
    // and the item scrolled into view. An item that may not start (a favourite the catalogue no
    // longer offers) is shown greyed and can be neither selected nor started.
    // Adds many channels under `root` at once, all startable, as AddChannel does one by one
    // (the view ends scrolled to the last), without the per-item layout work that makes a
    // country of thousands of channels slow to show.
    void AddChannels(QTreeWidgetItem* root, const std::vector<QByteArray>& names);
    QTreeWidgetItem* AddChannel(QTreeWidgetItem* root, const QByteArray& name,
                                bool startable = true);
    // Shows `item` as the selected one without starting it, as when the window shows the
    // channel that already plays. A later click anywhere in the tree starts it again. With
    // `alongside` the items marked before stay selected too (a name the tree lists twice).
    void MarkSelected(QTreeWidgetItem* item, bool alongside = false);
    // "Add to My Channels": nothing for no item or a parent item; otherwise the directory adds
    // the item's name to the favourites unless it is one already.
    void AddToMyChannels(QTreeWidgetItem* item);
    // "Remove from My Channels": the item's name leaves the favourites; nothing when it is not
    // a favourite.
    void RemoveFromMyChannels(QTreeWidgetItem* item);

    // The item's text as catalogue bytes (Windows-1252).
    static QByteArray ItemName(const QTreeWidgetItem* item);
    // The tool tip for a channel name: its infoText cut to what a buffer of `bufferLength`
    // characters holds before its closing zero; empty when no channel has that name.
    static QByteArray InfoTip(const ChannelList& list, const QByteArray& name,
                              int bufferLength = kInfoTipBufferLength);

Q_SIGNALS:
    // The user selected or clicked in the tree while a window of the program was active and the
    // selected item is a channel with a name: start that channel.
    void StartChannelRequested(const QByteArray& name);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    QItemSelectionModel::SelectionFlags
    selectionCommand(const QModelIndex& index, const QEvent* event = nullptr) const override;

private:
    void OnSelectionChanged();
    // The selection leaves the channels a collapse hides and goes to the collapsed parent.
    void OnItemCollapsed(QTreeWidgetItem* parent);
    // Asks for the selected item to be started; whatever was clicked, it is the selected item
    // that counts.
    void StartSelectedChannel();
    QTreeWidgetItem* SelectedItem() const;
    void ShowContextMenu(const QPoint& viewportPos, const QPoint& globalPos);
    // Shows the menu at `globalPos` and returns the chosen command, 0 for none; "Add to My
    // Channels" is enabled when `addable`, "Remove from My Channels" when `removable`.
    int ExecContextMenu(const QPoint& globalPos, bool addable, bool removable);
    bool ShowInfoTip(const QPoint& viewportPos, const QPoint& globalPos);

    ChannelDirectory& m_directory;
    std::array<QPixmap, 2> m_pictures;
    QIcon m_channelIcon;
    // Selection changes count as the user's only while the user's own input is handled.
    int m_userInputDepth = 0;
    bool m_marking = false;
    bool m_leftPressed = false;
    // The left button moved far enough while pressed to make its press a drag.
    bool m_leftDragged = false;
    QPoint m_leftPressPos;
    bool m_rightPressed = false;
    bool m_inDoubleClick = false;
};
