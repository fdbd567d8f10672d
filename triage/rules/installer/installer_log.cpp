// One reader for every installer log the collector copies: Windows
// Installer's verbose logs and WiX bundle logs, told apart line by line.
// A log appended to by later runs holds one session each: every session is
// an attempt of its own, and each is read as the kind most of its lines are.
#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "burn_log.h"
#include "catalogue.h"
#include "knowledge.h"
#include "msi_log.h"
#include "readers.h"
#include "text.h"

namespace triage {
namespace {

// Sessions kept per file, the newest: older ones are history the verdict
// never rests on, and a file of endless sessions costs no more than this.
constexpr std::size_t kMostSessions = 16;

bool StartsMsiSession(std::string_view text) {
  return StartsWith(text, "=== ") && (StartsWith(text.substr(4), "Verbose logging started") ||
                                      StartsWith(text.substr(4), "Logging started"));
}

// The pump's keeper, noting every handle a session's rules take, so that a
// session given up gives back all it kept, used or not.
class SessionKeeper : public EvidenceKeeper {
 public:
  EvidenceKeeper* pump = nullptr;
  std::vector<EvidenceId>* ids = nullptr;
  EvidenceId Keep(EvidenceId reuse) override {
    const EvidenceId id = pump->Keep(reuse);
    if (id != reuse && std::find(ids->begin(), ids->end(), id) == ids->end()) ids->push_back(id);
    return id;
  }
  void Release(EvidenceId id) override { pump->Release(id); }
};

class InstallerLogReader : public Reader {
 public:
  explicit InstallerLogReader(std::string file) : file_(std::move(file)) { Begin(); }

  void Line(uint64_t number, std::string_view text, EvidenceKeeper& evidence) override {
    keeper_.pump = &evidence;
    keeper_.ids = &ids_;
    // Most lines of a verbose log begin with neither: they go straight on.
    const char first = text.empty() ? '\0' : text[0];
    if (first == '[') {
      if (BurnLogRules::BeginsLog(text) && Lines() > 0) NewSession(evidence);
      if (burn_->Line(text, keeper_)) return;
    } else if (first == '=' && StartsMsiSession(text) && (msi_->Ended() || burn_->Lines() > 0)) {
      NewSession(evidence);
    }
    msi_->Line(number, text, keeper_);
  }

  FileResult End() override {
    FileResult result;
    std::deque<FileResult> sessions = std::move(sessions_);
    sessions.push_back(Settle());
    for (FileResult& session : sessions) {
      const int base = static_cast<int>(result.attempts.size());
      for (Attempt& attempt : session.attempts) result.attempts.push_back(std::move(attempt));
      for (Finding& finding : session.findings) {
        if (finding.attempt >= 0) finding.attempt += base;
        result.findings.push_back(std::move(finding));
      }
      result.understood = result.understood || session.understood;
    }
    if (dropped_ > 0) {
      Finding finding = MakeFinding("input.many-sessions", file_);
      finding.message =
          Say("input.many-sessions", {{"file", file_},
                                      {"count", std::to_string(dropped_ + kMostSessions)},
                                      {"kept", std::to_string(kMostSessions)}});
      result.findings.push_back(std::move(finding));
    }
    if (!result.understood) {
      Finding finding = MakeFinding("installer.unrecognised", file_);
      finding.message = Say("installer.unrecognised");
      result.findings.push_back(std::move(finding));
    }
    return result;
  }

 private:
  std::size_t Lines() const { return msi_->Lines() + burn_->Lines(); }

  void NewSession(EvidenceKeeper& evidence) {
    Finish(evidence);
    Begin();
  }

  void Begin() {
    msi_ = std::make_unique<MsiLogRules>(file_);
    burn_ = std::make_unique<BurnLogRules>(file_);
  }

  // The session's answer: a file is one kind of log, so a stray line of the
  // other kind never adds an attempt of its own.
  FileResult Settle() const {
    FileResult result;
    const bool burn = burn_->Seen() && burn_->Lines() >= msi_->Lines();
    const bool msi = msi_->Seen() && !burn;
    if (burn) burn_->End(result);
    if (msi) msi_->End(result);
    if (burn_->Seen() && msi_->Seen()) {
      Finding finding = MakeFinding("input.mixed-log", file_);
      const std::size_t other = burn ? msi_->Lines() : burn_->Lines();
      finding.message =
          SayCounted(burn ? "input.mixed-log.msi-lines" : "input.mixed-log.bundle-lines",
                     static_cast<int64_t>(other), {{"file", file_}});
      result.findings.push_back(std::move(finding));
    }
    return result;
  }

  void Finish(EvidenceKeeper& evidence) {
    sessions_.push_back(Settle());
    kept_.push_back(std::move(ids_));
    ids_.clear();
    if (sessions_.size() < kMostSessions) return;
    // The oldest session gives way, and every line it kept with it.
    for (const EvidenceId id : kept_.front()) evidence.Release(id);
    sessions_.pop_front();
    kept_.pop_front();
    ++dropped_;
  }

  std::string file_;
  std::unique_ptr<MsiLogRules> msi_;
  std::unique_ptr<BurnLogRules> burn_;
  std::deque<FileResult> sessions_;           // finished, oldest first
  std::deque<std::vector<EvidenceId>> kept_;  // the handles each of them took
  std::vector<EvidenceId> ids_;               // those of the session being read
  SessionKeeper keeper_;
  std::size_t dropped_ = 0;
};

}  // namespace

std::unique_ptr<Reader> MakeInstallerLogReader(const std::string& file) {
  return std::make_unique<InstallerLogReader>(file);
}

}  // namespace triage
