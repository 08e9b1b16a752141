#pragma once
// The files one add (the file dialog, a folder search, a drop) could not take, reported
// together in one box once the add is over.

#include "photo_reading.h"
#include "window_port.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tallowin {

struct AddFailure {
    std::string path;
    ReadFailure failure;
};

// The box's text: a first line, then each file with its reason; after `maxListed`
// files the rest are counted.
std::string AddFailuresText(const std::vector<AddFailure>& failures, size_t maxListed = 20);

// Shows nothing for no failures. A single failure that has a box of its own (a WDP file
// that could not be decoded, a file that could not be opened) shows that box as it
// always did; otherwise one warning box lists the files.
void ReportAddFailures(const std::vector<AddFailure>& failures, WindowPort& port);

}  // namespace tallowin
