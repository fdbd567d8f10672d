// Runs one file through its reader: bytes decoded into lines, each line
// handed to the reader with the means to keep it as evidence, as a
// streaming searcher hands context to its sinks. The pump keeps the last
// few lines and the next few after each kept one, so no reader keeps a ring
// of its own; at the end it turns the reader's evidence handles into lines
// and says what went wrong with the bytes themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "input/batch_pipeline.h"
#include "input/byte_stream.h"
#include "model.h"
#include "rules/reader.h"

namespace triage {

struct Pumped {
  FileResult result;           // evidence resolved: lines and context set
  std::vector<Finding> input;  // input.* findings about the file's bytes
  uint64_t bytes = 0;          // raw bytes read
  uint64_t hash = 0;           // of those bytes, to tell copies apart (not against malice)
};

// Lines kept before and after each piece of evidence.
constexpr std::size_t kContextBefore = 4;
constexpr std::size_t kContextAfter = 2;

// `store` is reused between files. Past `inline_bytes` the stream is read
// and decoded on a thread of its own while the reader works.
Pumped Pump(ByteStream& stream, Reader& reader, const std::string& name, std::size_t max_line_bytes,
            BatchStore& store, uint64_t inline_bytes = kInlineBytes);

}  // namespace triage
