// The photo list and the commands that edit it: Up, Down, Delete, Clear, sort, Edit.

#include "photo_list_model.h"

#include "app_identity.h"
#include "output_size.h"

#include <algorithm>
#include <functional>

namespace tallowin {

namespace {

constexpr const char* kSelectItems = "Please select items!";

constexpr ControlId kListButtons[] = {IDC_EDIT, IDC_UP, IDC_DOWN, IDC_DELETE, IDC_CLEAR};

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

void PhotoListModel::Append(PhotoRecord photo)
{
    photo.id = ++lastId_;
    photos_.push_back(std::move(photo));
}

void PhotoListModel::OrderChanged() { port_.PhotoListChanged(); }

void PhotoListModel::Refresh()
{
    port_.PhotoListChanged();
    port_.SetControlText(IDC_TOTAL_PHOTOS, "Total photos: " + std::to_string(photos_.size()));
    shownCount_.store(photos_.size());
    for (ControlId id : kListButtons) port_.EnableControl(id, !photos_.empty());
    port_.EnableControl(IDC_CONVERT, !photos_.empty() || run_.Active());
}

void PhotoListModel::RunEnded() { port_.EnableControl(IDC_CONVERT, shownCount_.load() != 0); }

void PhotoListModel::EnableButtons(bool enable)
{
    port_.EnableControl(IDC_CONVERT, enable);
    for (ControlId id : kListButtons) port_.EnableControl(id, enable);
}

void PhotoListModel::ResetSortOrder()
{
    nameDescendingNext_ = false;
    timeDescendingNext_ = false;
}

Selection PhotoListModel::MoveUp(const Selection& selection)
{
    if (photos_.size() <= 1) return selection;
    Selection rows = ValidRows(selection, photos_.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    // With the first row selected nothing moves, not even the other selected rows.
    if (rows.front() == 0) return rows;
    for (int& row : rows) {
        std::swap(photos_[row - 1], photos_[row]);
        --row;
    }
    OrderChanged();
    return rows;
}

Selection PhotoListModel::MoveDown(const Selection& selection)
{
    if (photos_.size() <= 1) return selection;
    Selection rows = ValidRows(selection, photos_.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    const int last = static_cast<int>(photos_.size()) - 1;
    if (rows.back() == last) return rows;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        std::swap(photos_[*it], photos_[*it + 1]);
        ++*it;
    }
    OrderChanged();
    return rows;
}

Selection PhotoListModel::DeleteSelected(const Selection& selection)
{
    if (photos_.empty()) return selection;
    const Selection rows = ValidRows(selection, photos_.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    // From the bottom up, so every index still names the record it named before.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) photos_.erase(photos_.begin() + *it);
    port_.DropPreview();
    Refresh();
    return {};
}

void PhotoListModel::Clear()
{
    photos_.clear();
    Refresh();
    port_.DropPreview();
}

void PhotoListModel::SortByColumn(int column)
{
    if (column == ColumnFileName) {
        SortPhotos(photos_, &PhotoRecord::fileName, !nameDescendingNext_);
        nameDescendingNext_ = !nameDescendingNext_;
    } else if (column == ColumnTime) {
        SortPhotos(photos_, &PhotoRecord::timeText, !timeDescendingNext_);
        timeDescendingNext_ = !timeDescendingNext_;
    }
    Refresh();
}

Selection PhotoListModel::EditSelected(const Selection& selection, const OptionsDialog& dialog)
{
    const Selection rows = ValidRows(selection, photos_.size());
    if (rows.empty()) {
        port_.ShowMessage(kSelectItems, kApplicationTitle);
        return selection;
    }
    for (int row : rows) {
        const std::optional<OutputSettings> edited = dialog(photos_[row].settings);
        if (!edited) continue;  // Cancel: this photo stays as it was; the next one still gets its dialog
        photos_[row].settings = *edited;
        ApplyOutputSize(photos_[row], port_);
    }
    Refresh();
    return {};
}

void PhotoListModel::AssignToAll(const OutputSettings& settings)
{
    for (PhotoRecord& photo : photos_) AssignOutputSettings(photo, settings, port_);
}

}  // namespace tallowin
