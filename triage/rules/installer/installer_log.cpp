// One reader for every installer log the collector copies: Windows
// Installer's verbose logs and WiX bundle logs, told apart line by line.
#include "burn_log.h"
#include "catalogue.h"
#include "msi_log.h"
#include "readers.h"

namespace triage {
namespace {

class InstallerLogReader : public Reader {
 public:
  explicit InstallerLogReader(std::string file)
      : file_(std::move(file)), msi_(file_), burn_(file_) {}

  void Line(uint64_t number, std::string_view text, EvidenceKeeper& evidence) override {
    if (!text.empty() && text[0] == '[' && burn_.Line(text, evidence)) return;
    msi_.Line(number, text, evidence);
  }

  FileResult End() override {
    FileResult result;
    burn_.End(result);
    msi_.End(result);
    if (!burn_.Seen() && !msi_.Seen()) {
      Finding finding = MakeFinding("installer.unrecognised", file_);
      finding.message =
          "No line of this file looks like a Windows Installer or WiX bundle log; it says nothing "
          "about the installation.";
      result.findings.push_back(std::move(finding));
    }
    return result;
  }

 private:
  std::string file_;
  MsiLogRules msi_;
  BurnLogRules burn_;
};

}  // namespace

std::unique_ptr<Reader> MakeInstallerLogReader(const std::string& file) {
  return std::make_unique<InstallerLogReader>(file);
}

}  // namespace triage
