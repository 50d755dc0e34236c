#pragma once

#include <QObject>
#include <QString>
#include <memory>

class CMediaView;
class CSearchField;
class CStation;
class CatalogueSearch;
class QComboBox;
class QTreeWidgetItem;
class RadioPlayback;
struct Catalogue;

// Search in the radio window: the field right of "Select Channel", and its results as the
// country list's last entry "Search results", shown in the tree as a country is (the root, then
// the channels, best first). A result starts as a tree click does.
//
// Keys: Ctrl+F, or a letter typed while no text field of the window has the focus, goes to the
// field; Down moves from the field into the results; Enter in the field or the results plays the
// selected result; Escape in the field empties it and shows again what was shown before.
class WindowSearch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIdSearchField = 1131;
    static constexpr char kResultsText[] = "Search results";

    // Places the field in `window` at the window's `scale` (a child of its client area, beside
    // the country list) and takes over the tree whenever the results entry is shown. With no
    // shared search the window keeps one of its own.
    WindowSearch(CStation& window, QComboBox& countryList, CMediaView& tree, const Catalogue& catalogue,
                 RadioPlayback& playback, CatalogueSearch* shared, qreal scale);
    ~WindowSearch() override;

    // The search of an open radio window, or null.
    static WindowSearch* Of(QObject* window);

    CSearchField* Field() const { return m_field; }
    // Puts `text` into the field and shows its results, as if typed.
    void ShowQuery(const QString& text);
    // Whether the country list's entry `index` is "Search results".
    bool IsResultsEntry(int index) const;
    // Fills the tree with the field's results and marks the playing channel among them; returns
    // how many were shown.
    int FillResults();
    // The country list was filled again: puts the results entry back at its end while the field
    // holds a query. The entry shown stays shown.
    void AddResultsEntry();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTextChanged(const QString& text);
    // Shows the entry that was shown before the results and drops the results entry.
    void RestoreShownBefore();
    void MoveIntoResults();
    // Plays the selected result, or the first when none is selected.
    void PlaySelected();
    int ResultsEntry() const;
    QTreeWidgetItem* ResultsRoot() const;
    void MarkPlaying();

    CStation& m_window;
    QComboBox& m_countryList;
    CMediaView& m_tree;
    const Catalogue& m_catalogue;
    RadioPlayback& m_playback;
    std::unique_ptr<CatalogueSearch> m_ownSearch;
    CatalogueSearch& m_search;
    CSearchField* m_field = nullptr;
    // The entry shown before the results, by place and text (the list may be filled again
    // meanwhile); -1 while the results are not shown.
    int m_indexBefore = -1;
    QString m_textBefore;
};
