#pragma once
// The photo of the request being served, reachable by name.
//
// The decoder libraries open their input by name (fopen, open, TIFFOpen ...). The
// helper receives a descriptor instead and names it RequestPath(); this helper
// executable defines the C library's open functions so that exactly that name yields a
// duplicate of the descriptor, rewound, without any system call that opens a file, and
// its stat functions so that the name is described from the descriptor (libraries ask
// a file's size by name). Every other name goes to the kernel, where the system-call
// filter decides.

#include <string>

namespace tallowin::sandbox {

// Makes `fd` reachable as the returned name until ForgetRequestFile().
std::string ServeRequestFile(int fd);
void ForgetRequestFile();

}  // namespace tallowin::sandbox
