// The commands that edit the photo list: Up, Down, Delete, Clear, sort, Edit, Options.

#include "main_window_model.h"

#include "app_identity.h"

#include <algorithm>
#include <functional>

namespace tallowin {

namespace {

constexpr const char* kSelectItems = "Please select items!";

// The selection without rows outside the list, ascending and without repeats.
Selection ValidRows(const Selection& selection, size_t count)
{
    Selection rows;
    for (int row : selection)
        if (row >= 0 && static_cast<size_t>(row) < count) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// Sorts by one text key; byte-wise comparison (std::string compares as unsigned char),
// so upper case sorts before lower case and the time text sorts chronologically.
void SortPhotos(PhotoList& photos, std::string PhotoRecord::*key, bool ascending)
{
    std::stable_sort(photos.begin(), photos.end(), [key, ascending](const PhotoRecord& a, const PhotoRecord& b) {
        return ascending ? a.*key < b.*key : b.*key < a.*key;
    });
}

}  // namespace

void MainWindowModel::ListOrderChanged() { port_.PhotoListChanged(); }

Selection MainWindowModel::MoveUp(const Selection& selection)
{
    if (photos.size() <= 1) return selection;
    Selection rows = ValidRows(selection, photos.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    // With the first row selected nothing moves, not even the other selected rows.
    if (rows.front() == 0) return rows;
    for (int& row : rows) {
        std::swap(photos[row - 1], photos[row]);
        --row;
    }
    ListOrderChanged();
    return rows;
}

Selection MainWindowModel::MoveDown(const Selection& selection)
{
    if (photos.size() <= 1) return selection;
    Selection rows = ValidRows(selection, photos.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    const int last = static_cast<int>(photos.size()) - 1;
    if (rows.back() == last) return rows;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        std::swap(photos[*it], photos[*it + 1]);
        ++*it;
    }
    ListOrderChanged();
    return rows;
}

Selection MainWindowModel::DeleteSelected(const Selection& selection)
{
    if (photos.empty()) return selection;
    const Selection rows = ValidRows(selection, photos.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    // From the bottom up, so every index still names the record it named before.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) photos.erase(photos.begin() + *it);
    port_.DropPreview();
    RefreshPhotoList();
    return {};
}

void MainWindowModel::ClearPhotos()
{
    photos.clear();
    RefreshPhotoList();
    port_.DropPreview();
}

void MainWindowModel::SortByColumn(int column)
{
    if (column == ColumnFileName) {
        SortPhotos(photos, &PhotoRecord::fileName, nameOrder == 0);
        nameOrder = nameOrder == 0 ? 1 : 0;
    } else if (column == ColumnTime) {
        SortPhotos(photos, &PhotoRecord::timeText, timeOrder == 0);
        timeOrder = timeOrder == 0 ? 1 : 0;
    }
    RefreshPhotoList();
}

Selection MainWindowModel::EditSelected(const Selection& selection, const OptionsDialog& dialog)
{
    const Selection rows = ValidRows(selection, photos.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    for (int row : rows) {
        const std::optional<OutputSettings> edited = dialog(photos[row].settings);
        if (!edited) continue;  // Cancel: this photo stays as it was; the next one still gets its dialog
        photos[row].settings = *edited;
        ApplyOutputSize(photos[row]);
    }
    RefreshPhotoList();
    return {};
}

void MainWindowModel::Options(const OptionsDialog& dialog)
{
    const std::optional<OutputSettings> chosen = dialog(m_outputPhotoFormat);
    if (!chosen) return;
    m_outputPhotoFormat = *chosen;
    if (photos.empty()) return;
    const MessageAnswer answer = port_.ShowMessage("Do you want to change all output settings of photos?", "Question",
                                                   MessageButtons::YesNo, MessageIcon::Question);
    if (answer == MessageAnswer::Yes)
        for (PhotoRecord& photo : photos) AssignOutputSettings(photo);
    RefreshPhotoList();
}

}  // namespace tallowin
