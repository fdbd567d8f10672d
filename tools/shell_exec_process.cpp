#include "platform/win_constants.h"
#include "tools/processes.h"

namespace velmora {

CShellExecProcessImpl::CShellExecProcessImpl(const WString& file, const WString& parameters,
                                             const WString& verb)
    : file_(file), parameters_(parameters), verb_(verb) {}

CShellExecProcessImpl::~CShellExecProcessImpl() = default;

Handle CShellExecProcessImpl::Start(std::uint32_t mask) {
  ShellExecuteRequest request;
  request.mask = mask | SEE_MASK_NOCLOSEPROCESS;
  request.show = SW_SHOWNORMAL;
  request.verb = verb_;
  request.file = file_;
  request.parameters = parameters_;
  return CurrentPlatform().ShellExecuteExW(request);
}

}  // namespace velmora
