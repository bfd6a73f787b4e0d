// SPDX-License-Identifier: GPL-3.0-or-later
// A source stream that begins with bytes fetched ahead of the worker (see
// FetchAhead.h) and reaches the file system for everything else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileServices.h"

// Returns a stream over the file at path that serves the bytes of data,
// read from it at start (end true when the file ended there), for reads
// that go on sequentially from start, and otherwise opens the file itself
// and hands every call to it. id is the identity of the file the bytes came
// from (unknown when the backend could not tell).
std::unique_ptr<CStream> MakeFetchedStream(const std::string& path, uint64_t start, std::vector<uint8_t> data,
                                           bool end, const CFileId& id);
