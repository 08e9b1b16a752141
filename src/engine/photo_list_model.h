#pragma once
// The photo list of the main window with the commands that edit it (Up, Down, Delete,
// Clear, sort, Edit) and the buttons that follow it. Used on the window's thread; the
// conversion worker converts a copy and only calls RunEnded.

#include "output_settings.h"
#include "photo_record.h"
#include "photo_status.h"
#include "run_state.h"
#include "window_port.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tallowin {

// Rows of the photo list that are selected, in ascending order.
using Selection = std::vector<int>;

// The options dialog, run modally on a copy of some settings: the edited settings on
// OK, nothing on Cancel.
using OptionsDialog = std::function<std::optional<OutputSettings>(const OutputSettings&)>;

// Columns of the photo list view.
enum PhotoColumn : int { ColumnFileName = 0, ColumnSize = 1, ColumnTime = 2, ColumnOutputSize = 3, ColumnRotate = 4 };

class PhotoListModel {
public:
    PhotoListModel(WindowPort& port, const RunState& run) : port_(port), run_(run) {}

    PhotoList& Photos() { return photos_; }
    const PhotoList& Photos() const { return photos_; }

    // Appends a photo with an id no other photo of this list has had.
    void Append(PhotoRecord photo);
    // The status column of each photo, by PhotoRecord::id.
    PhotoStatusBoard& Statuses() { return statuses_; }
    const PhotoStatusBoard& Statuses() const { return statuses_; }

    // Rebuild of the list view: "Total photos: %d" and the list buttons follow the count;
    // so does Convert, except that it stays pressable (as Stop) while a run is active.
    void Refresh();
    // The worker has ended: Convert follows the list again. Called from the worker.
    void RunEnded();
    // Enables or disables Convert, Edit, Up, Down, Delete and Clear together.
    void EnableButtons(bool enable);
    // Both sortable columns start ascending again.
    void ResetSortOrder();

    // Each command takes the list view's selection and returns the selection after it.
    Selection MoveUp(const Selection& selection);
    Selection MoveDown(const Selection& selection);
    Selection DeleteSelected(const Selection& selection);
    void Clear();
    // Click on a column heading: "File name" and "Time" sort, alternating direction.
    void SortByColumn(int column);
    // Whether the next click on "File name" or "Time" sorts descending (false for the
    // other columns).
    bool NextSortDescending(int column) const
    {
        return column == ColumnFileName ? nameDescendingNext_ : column == ColumnTime && timeDescendingNext_;
    }
    // Edit: the dialog for each selected photo in turn; OK replaces its settings and
    // recomputes its output size.
    Selection EditSelected(const Selection& selection, const OptionsDialog& dialog);
    // `settings` into every photo, each with its output size.
    void AssignToAll(const OutputSettings& settings);

private:
    // The list view shows a new order of the same photos (Up, Down).
    void OrderChanged();

    WindowPort& port_;
    const RunState& run_;
    PhotoList photos_;
    PhotoStatusBoard statuses_;
    uint64_t lastId_ = 0;
    bool nameDescendingNext_ = false;  // the next "File name" click sorts descending
    bool timeDescendingNext_ = false;  // the next "Time" click sorts descending
    std::atomic<size_t> shownCount_{0};  // the count the list view shows, for the worker's last step
};

}  // namespace tallowin
