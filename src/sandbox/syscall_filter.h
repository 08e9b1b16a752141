#pragma once
// The system-call filter a decoder helper runs under once it is set up.

#include "decoder_protocol.h"

#include <string>

namespace tallowin::sandbox {

// Installs the filter for the rest of the process's life (threads created later
// inherit it). False with a reason when the kernel or libseccomp refuses it.
bool InstallSyscallFilter(codec::sandbox::HelperMode mode, std::string& error);

}  // namespace tallowin::sandbox
