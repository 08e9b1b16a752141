// Adding photos: from the Add Photos dialog, a folder search and dropped items.

#include "main_window_model.h"

#include "add_failures.h"
#include "file_find_all.h"
#include "paths.h"
#include "photo_reading.h"
#include "settings_keys.h"
#include "settings_store.h"

#include <sys/stat.h>

namespace tallowin {

bool MainWindowModel::AddPhotoFromFile(const std::string& path, PhotoRecord& record)
{
    return ReadPhotoFile(path, settings_.current, wdpLibrary_, port_, record);
}

void MainWindowModel::AddPhotoAtEnd(const std::string& path, std::vector<AddFailure>& failures)
{
    PhotoRecord record;
    ReadFailure failure;
    if (ReadPhotoFile(path, settings_.current, wdpLibrary_, port_, record, failure))
        list_.Append(std::move(record));
    else
        failures.push_back({path, std::move(failure)});
}

std::string MainWindowModel::LastPhotoFolder() const
{
    return store_.GetProfileString(keys::kOption, keys::kLastPhotoFolder, "");
}

void MainWindowModel::AddChosenFiles(const std::vector<std::string>& paths)
{
    std::vector<AddFailure> failures;
    for (const std::string& path : paths) AddPhotoAtEnd(path, failures);
    if (!list_.Photos().empty()) {
        list_.Refresh();
        store_.WriteProfileString(keys::kOption, keys::kLastPhotoFolder,
                                  FolderOfPath(list_.Photos().back().sourcePath));
    }
    ReportAddFailures(failures, port_);
}

void MainWindowModel::AddFolderTree(const std::string& folder)
{
    std::vector<std::string> found;
    CFileFindAll finder(port_);
    if (!finder.FindPhotoFiles(folder, found)) return;
    std::vector<AddFailure> failures;
    for (const std::string& path : found) AddPhotoAtEnd(path, failures);
    if (!list_.Photos().empty()) {
        list_.Refresh();
        store_.WriteProfileString(keys::kOption, keys::kLastBrowseFold, FolderOfPath(list_.Photos().back().sourcePath));
    }
    ReportAddFailures(failures, port_);
}

void MainWindowModel::AddDroppedItems(const std::vector<std::string>& paths)
{
    std::vector<AddFailure> failures;
    for (const std::string& path : paths) {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) continue;
        AddPhotoAtEnd(path, failures);
    }
    if (!list_.Photos().empty()) list_.Refresh();
    ReportAddFailures(failures, port_);
}

}  // namespace tallowin
