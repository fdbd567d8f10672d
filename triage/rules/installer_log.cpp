// One reader for every installer log the collector copies: Windows
// Installer's verbose logs and WiX bundle logs, told apart line by line.
#include "burn_log.h"
#include "context_ring.h"
#include "finding.h"
#include "msi_log.h"
#include "readers.h"

namespace triage {
namespace {

class InstallerLogReader : public LineReader {
 public:
  explicit InstallerLogReader(std::string file)
      : file_(std::move(file)), msi_(file_), burn_(file_) {}

  void Line(uint64_t number, std::string_view text) override {
    ring_.Push(number, text);
    if (!text.empty() && text[0] == '[' && burn_.Line(number, text, ring_)) return;
    msi_.Line(number, text, ring_);
  }

  void End(Report& report) override {
    burn_.End(report);
    // A bundle log holds no Windows Installer outcome of its own.
    if (burn_.Seen() && !msi_.Seen()) return;
    if (!msi_.Seen()) {
      Finding finding = MakeFinding("installer.unrecognised", Severity::Info, file_, 0);
      finding.message =
          "No line of this file looks like a Windows Installer or WiX bundle log; it says nothing "
          "about the installation.";
      finding.remedy = "Check that the right file was collected (a verbose log, msiexec /l*v).";
      report.findings.push_back(std::move(finding));
      return;
    }
    msi_.End(report);
  }

 private:
  std::string file_;
  ContextRing ring_;
  MsiLogRules msi_;
  BurnLogRules burn_;
};

}  // namespace

std::unique_ptr<LineReader> MakeInstallerLogReader(std::string file) {
  return std::make_unique<InstallerLogReader>(std::move(file));
}

}  // namespace triage
