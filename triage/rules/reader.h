// A reader of one kind of file: fed the decoded lines of its file in order
// (without their line ends), it answers for that file alone.
#pragma once

#include <cstdint>
#include <string_view>

#include "model.h"

namespace triage {

// Lent by the pump with each line: keeps the current line as evidence,
// with the lines before it and the next few after it.
class EvidenceKeeper {
 public:
  virtual ~EvidenceKeeper() = default;
  // A handle for the current line. Given an earlier handle of the same
  // reader, that one is reused (what it kept is replaced), so a reader that
  // keeps moving its candidate keeps a bounded number of lines.
  virtual EvidenceId Keep(EvidenceId reuse = kNoEvidence) = 0;
  // A handle no longer needed (what a reader kept for something it has let
  // go): its lines may serve a later Keep.
  virtual void Release(EvidenceId id) = 0;
};

class Reader {
 public:
  virtual ~Reader() = default;
  virtual void Line(uint64_t number, std::string_view text, EvidenceKeeper& evidence) = 0;
  // The file has ended: what the reader found. Findings and attempts carry
  // evidence handles, which the pump turns into lines.
  virtual FileResult End() = 0;
  // False once the reader needs no more lines: the rest of the file is not read.
  virtual bool WantsMore() const { return true; }
};

}  // namespace triage
