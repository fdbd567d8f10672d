// Processes the tool starts and waits for: CStartHandle owns the process
// handle, waits for the process while keeping the thread's message queue
// drained and re-runs safely; CShellExecProcessImpl starts a program
// through the shell.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "tools/handle.h"

namespace velmora {

class CStartHandle : public CHandle {
 public:
  CStartHandle() = default;

  // The virtual operations keep this order: destructor, Start, Release.

  // Closes the process handle if one is held; never waits for or ends the
  // process.
  virtual ~CStartHandle();

  // Starts the process and returns its handle, or none. The base class
  // starts nothing.
  virtual Handle Start(std::uint32_t mask);

  // Destroys and frees the object when its self-delete flag is set.
  virtual void Release();

  // Waits for a process still held, closes its handle, then starts anew and
  // keeps the new handle (none when nothing was started).
  void Run();

  // Returns once no process is held or the held one has ended; the handle
  // stays held. Drains the message queue about every 10 milliseconds while
  // waiting.
  void WaitForExit();

 protected:
  // Set only by owners that hand the object over to Release.
  std::uint32_t selfDelete_ = 0;
};

// A program started through the shell from a file, a parameter text (one
// command-line string) and a verb, each copied into the object.
class CShellExecProcessImpl : public CStartHandle {
 public:
  CShellExecProcessImpl(const WString& file, const WString& parameters, const WString& verb);
  ~CShellExecProcessImpl() override;

  // ShellExecuteExW with `mask` | SEE_MASK_NOCLOSEPROCESS, shown normally;
  // the process handle the shell leaves, or none.
  Handle Start(std::uint32_t mask) override;

 private:
  // Destroyed in reverse: the verb, then the parameters, then the file.
  WString file_;
  WString parameters_;
  WString verb_;
};

}  // namespace velmora
