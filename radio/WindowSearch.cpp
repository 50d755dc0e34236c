#include "radio/WindowSearch.h"

#include "app/AnsiText.h"
#include "directory/CatalogueSearch.h"
#include "directory/ChannelTree.h"
#include "radio/RadioPlayback.h"
#include "radio/Station.h"
#include "ui/DialogUnits.h"
#include "ui/SearchField.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QShortcut>
#include <vector>

namespace {

// Where the field lies in the window's template: right of "Select Channel", with the country
// list's left edge and width, between that list and the tree.
constexpr DialogRect kFieldRect = {95, 38, 113, 12};
constexpr int kResultsRole = Qt::UserRole + 2;
// The entry's country text: a catalogue line never holds a line feed, so no country has it, and
// code that looks an entry up by its country never lands on the results.
const QByteArray kResultsCountry("\nsearch results");

} // namespace

WindowSearch::WindowSearch(CStation& window, QComboBox& countryList, CMediaView& tree,
                           const Catalogue& catalogue, RadioPlayback& playback, CatalogueSearch* shared,
                           qreal scale)
    : QObject(&window), m_window(window), m_countryList(countryList), m_tree(tree),
      m_catalogue(catalogue), m_playback(playback),
      m_ownSearch(shared ? nullptr : std::make_unique<CatalogueSearch>(catalogue)),
      m_search(shared ? *shared : *m_ownSearch)
{
    m_field = new CSearchField(m_countryList.parentWidget());
    PlaceControl(m_field, kIdSearchField, kFieldRect, scale);
    // Ready before the first keystroke, unless start-up has built it already.
    m_search.Prepare();
    connect(m_field, &QLineEdit::textChanged, this, &WindowSearch::OnTextChanged);
    connect(m_field, &CSearchField::DownPressed, this, &WindowSearch::MoveIntoResults);
    connect(m_field, &CSearchField::EnterPressed, this, &WindowSearch::PlaySelected);
    connect(m_field, &CSearchField::EscapePressed, m_field, &QLineEdit::clear);

    auto* find = new QShortcut(QKeySequence::Find, &window);
    connect(find, &QShortcut::activated, this, [this] {
        m_field->setFocus(Qt::ShortcutFocusReason);
        m_field->selectAll();
    });
    // Letters typed anywhere in the window, and Enter in the tree: the application's filter sees
    // them before the widget they are for.
    qApp->installEventFilter(this);
}

WindowSearch::~WindowSearch() = default;

WindowSearch* WindowSearch::Of(QObject* window)
{
    return window ? window->findChild<WindowSearch*>(QString(), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

void WindowSearch::ShowQuery(const QString& text)
{
    m_field->setText(text);
    m_field->setFocus(Qt::OtherFocusReason);
}

int WindowSearch::ResultsEntry() const
{
    return m_countryList.findData(true, kResultsRole);
}

bool WindowSearch::IsResultsEntry(int index) const
{
    return index >= 0 && m_countryList.itemData(index, kResultsRole).toBool();
}

void WindowSearch::AddResultsEntry()
{
    if (ResultsEntry() >= 0 || StationSearch::FoldedWords(m_field->text()).isEmpty())
        return;
    m_countryList.addItem(QString::fromLatin1(kResultsText), kResultsCountry);
    m_countryList.setItemData(m_countryList.count() - 1, true, kResultsRole);
}

void WindowSearch::OnTextChanged(const QString& text)
{
    if (StationSearch::FoldedWords(text).isEmpty()) {
        RestoreShownBefore();
        return;
    }
    if (!IsResultsEntry(m_countryList.currentIndex())) {
        m_indexBefore = m_countryList.currentIndex();
        m_textBefore = m_countryList.currentText();
    }
    AddResultsEntry();
    const int entry = ResultsEntry();
    m_countryList.setCurrentIndex(entry);
    m_window.FillChannelTree(entry);
}

void WindowSearch::RestoreShownBefore()
{
    const int entry = ResultsEntry();
    if (entry < 0)
        return;
    const bool shown = m_countryList.currentIndex() == entry;
    m_countryList.removeItem(entry);
    if (!shown)
        return;
    int before = m_indexBefore;
    if (before < 0 || before >= m_countryList.count() ||
        m_countryList.itemText(before) != m_textBefore)
        before = m_countryList.findText(m_textBefore);
    if (before < 0 && m_countryList.count() > 0)
        before = 0;
    m_indexBefore = -1;
    m_countryList.setCurrentIndex(before);
    m_window.FillChannelTree(before);
    MarkPlaying();
}

int WindowSearch::FillResults()
{
    m_tree.clear();
    QTreeWidgetItem* root = m_tree.AddRoot();
    const std::vector<SearchHit> hits =
        m_search.Find(m_field->text(), StationSearch::kWindowResults);
    std::vector<QByteArray> names;
    names.reserve(hits.size());
    for (const SearchHit& hit : hits)
        names.push_back(m_catalogue.RadioChannelList.records[size_t(hit.record)].name);
    m_tree.AddChannels(root, names);
    m_tree.scrollToTop();
    MarkPlaying();
    return int(names.size());
}

QTreeWidgetItem* WindowSearch::ResultsRoot() const
{
    if (!IsResultsEntry(m_countryList.currentIndex()) || m_tree.topLevelItemCount() == 0)
        return nullptr;
    return m_tree.topLevelItem(0);
}

void WindowSearch::MarkPlaying()
{
    QTreeWidgetItem* root = m_tree.topLevelItemCount() > 0 ? m_tree.topLevelItem(0) : nullptr;
    const QByteArray& playing = m_playback.SelectedChannelName();
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (CMediaView::ItemName(root->child(i)) == playing) {
            m_tree.MarkSelected(root->child(i));
            m_tree.scrollToItem(root->child(i));
            return;
        }
    }
}

void WindowSearch::MoveIntoResults()
{
    QTreeWidgetItem* root = ResultsRoot();
    if (!root || root->childCount() == 0)
        return;
    m_tree.setFocus(Qt::OtherFocusReason);
    m_tree.MarkSelected(root->child(0));
    m_tree.scrollToItem(root->child(0));
}

void WindowSearch::PlaySelected()
{
    QTreeWidgetItem* root = ResultsRoot();
    if (!root || root->childCount() == 0)
        return;
    QTreeWidgetItem* chosen = root->child(0);
    const QList<QTreeWidgetItem*> selected = m_tree.selectedItems();
    if (!selected.isEmpty() && selected.front()->parent() == root)
        chosen = selected.front();
    const QByteArray name = CMediaView::ItemName(chosen);
    if (!name.isEmpty())
        m_playback.PlayTreeChannel(name);
}

bool WindowSearch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == &m_tree && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        ResultsRoot()) {
        PlaySelected();
        return true;
    }
    // A letter typed in the window while no text field there has the focus starts a search. A
    // widget that takes text (the page view's forms too) asks for input methods; so do item
    // views, for their own type-ahead, which the search takes the place of.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != &m_window || widget == m_field ||
        (widget->testAttribute(Qt::WA_InputMethodEnabled) &&
         !qobject_cast<QAbstractItemView*>(widget)))
        return false;
    const QString text = key->text();
    if (text.isEmpty() || !text.front().isLetter() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    m_field->setFocus(Qt::OtherFocusReason);
    m_field->insert(text);
    return true;
}
