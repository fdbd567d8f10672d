#include "xml_stream.h"

#include "text.h"

namespace triage {
namespace {

// Text is handed on in pieces of about this size, so a huge text node is
// never held whole.
constexpr size_t kTextPiece = 4096;
// "&#x10FFFF;" and the predefined names fit; anything longer is no entity.
constexpr size_t kMaxEntity = 10;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EndsName(char c) { return IsBlank(c) || c == '/' || c == '>'; }

// Characters no element name holds.
bool Forbidden(char c) { return c == '<' || c == '"' || c == '\'' || c == '=' || c == '&'; }

// The text an entity stands for; false when it is none of the predefined
// or numeric ones.
bool DecodeEntity(std::string_view name, std::string& out) {
  static const struct {
    const char* name;
    char value;
  } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& named : kNamed) {
    if (name == named.name) {
      out += named.value;
      return true;
    }
  }
  if (name.size() < 2 || name[0] != '#') return false;
  std::optional<int64_t> value;
  size_t used = 0;
  if (name[1] == 'x' || name[1] == 'X') {
    value = ParseHex(name.substr(2), &used);
    used += 2;
  } else {
    value = ParseDecimal(name.substr(1), &used);
    used += 1;
  }
  if (!value || used != name.size() || *value <= 0 || *value > 0x10FFFF ||
      (*value >= 0xD800 && *value <= 0xDFFF)) {
    return false;
  }
  AppendUtf8(static_cast<uint32_t>(*value), out);
  return true;
}

}  // namespace

void XmlStream::FeedLine(std::string_view text, uint64_t line) {
  if (failed()) return;
  line_ = line;
  for (const char c : text) {
    Char(c);
    if (failed()) return;
  }
  Char('\n');
  if (text_.size() >= kTextPiece) FlushText();
}

void XmlStream::Finish() {
  if (failed()) return;
  if (state_ == State::Entity) EndEntity();
  if (state_ != State::Text) {
    Fail("it ends inside a tag, comment or declaration (cut short)");
  } else if (!open_.empty()) {
    Fail("it ends before its elements are closed (cut short)");
  } else if (!seen_root_) {
    Fail("it holds no XML element");
  }
}

void XmlStream::Fail(std::string why) {
  if (error_.empty()) error_ = std::move(why);
}

void XmlStream::FlushText() {
  if (!text_.empty()) events_.Text(text_, text_line_);
  text_.clear();
}

void XmlStream::BeginElement() {
  if (root_closed_) return Fail("a second element follows the document's element");
  if (open_.size() >= kMaxDepth) return Fail("its elements nest more than 64 levels deep");
  open_.push_back(name_);
  seen_root_ = true;
  events_.StartElement(name_, line_);
  if (slash_) CloseElement(true);
}

void XmlStream::CloseElement(bool empty) {
  FlushText();
  open_.pop_back();
  events_.EndElement(empty);
  if (open_.empty()) root_closed_ = true;
}

void XmlStream::EndEntity() {
  // An '&' that starts no entity, or one the document type would declare,
  // is kept as it is written.
  std::string decoded;
  if (!DecodeEntity(entity_, decoded)) decoded = "&" + entity_;
  text_ += decoded;
  state_ = State::Text;
}

void XmlStream::Char(char c) {
  switch (state_) {
    case State::Text:
      if (c == '<') {
        FlushText();
        state_ = State::Open;
      } else if (open_.empty()) {
        if (!IsBlank(c)) Fail("text stands outside the document's element");
      } else if (c == '&') {
        if (text_.empty()) text_line_ = line_;
        entity_.clear();
        state_ = State::Entity;
      } else {
        if (text_.empty()) text_line_ = line_;
        text_ += c;
      }
      return;
    case State::Entity:
      if (c == ';') {
        EndEntity();
      } else if (entity_.size() >= kMaxEntity || IsBlank(c) || c == '<' || c == '&') {
        EndEntity();
        Char(c);
      } else {
        entity_ += c;
      }
      return;
    case State::Open:
      if (c == '!') {
        marker_.clear();
        state_ = State::Bang;
      } else if (c == '?') {
        run_ = 0;
        state_ = State::Instruction;
      } else if (c == '/') {
        name_.clear();
        state_ = State::EndName;
      } else if (EndsName(c) || Forbidden(c)) {
        Fail("a '<' starts no tag");
      } else {
        name_.assign(1, c);
        slash_ = false;
        state_ = State::StartName;
      }
      return;
    case State::Bang: {
      marker_ += c;
      constexpr std::string_view kComment = "--";
      constexpr std::string_view kCdata = "[CDATA[";
      if (marker_ == kComment) {
        run_ = 0;
        state_ = State::Comment;
      } else if (marker_ == kCdata) {
        if (open_.empty()) return Fail("character data stands outside the document's element");
        if (text_.empty()) text_line_ = line_;
        run_ = 0;
        state_ = State::Cdata;
      } else if (!StartsWith(kComment, marker_) && !StartsWith(kCdata, marker_)) {
        // A declaration ("<!DOCTYPE ...>"): skipped to its '>' outside
        // brackets and quotes; what it declares is never used.
        brackets_ = 0;
        quote_ = 0;
        state_ = State::Declaration;
        for (const char seen : marker_) {
          Char(seen);
          if (state_ != State::Declaration) break;
        }
      }
      return;
    }
    case State::Comment:
      if (c == '-') {
        ++run_;
      } else if (c == '>' && run_ >= 2) {
        state_ = State::Text;
      } else {
        run_ = 0;
      }
      return;
    case State::Cdata:
      if (c == ']') {
        ++run_;
      } else if (c == '>' && run_ >= 2) {
        text_.append(run_ - 2, ']');
        state_ = State::Text;
      } else {
        text_.append(run_, ']');
        run_ = 0;
        text_ += c;
      }
      if (text_.size() >= kTextPiece) FlushText();
      return;
    case State::Declaration:
      if (quote_ != 0) {
        if (c == quote_) quote_ = 0;
      } else if (c == '"' || c == '\'') {
        quote_ = c;
      } else if (c == '[') {
        ++brackets_;
      } else if (c == ']') {
        --brackets_;
      } else if (c == '>' && brackets_ <= 0) {
        state_ = State::Text;
      }
      return;
    case State::Instruction:
      if (c == '>' && run_ == 1) {
        state_ = State::Text;
      } else {
        run_ = c == '?' ? 1 : 0;
      }
      return;
    case State::EndName:
      if (c == '>') {
        const std::string_view name = Trim(name_);
        if (open_.empty() || name != open_.back()) {
          return Fail("an end tag </" + std::string(CutUtf8(name, 40)) +
                      "> closes no open element of that name");
        }
        state_ = State::Text;
        CloseElement(false);
      } else if (name_.size() > kMaxName) {
        Fail("an element name is longer than " + std::to_string(kMaxName) + " bytes");
      } else {
        name_ += c;
      }
      return;
    case State::StartName:
      if (EndsName(c)) {
        state_ = State::Attributes;
        Char(c);
      } else if (Forbidden(c)) {
        Fail("an element name holds '" + std::string(1, c) + "'");
      } else if (name_.size() >= kMaxName) {
        Fail("an element name is longer than " + std::to_string(kMaxName) + " bytes");
      } else {
        name_ += c;
      }
      return;
    case State::Attributes:
      if (c == '>') {
        state_ = State::Text;
        BeginElement();
      } else if (slash_) {
        Fail("a '/' in a start tag is not followed by '>'");
      } else if (c == '/') {
        slash_ = true;
      } else if (c == '"' || c == '\'') {
        quote_ = c;
        state_ = State::AttributeValue;
      } else if (c == '<') {
        Fail("a start tag is not closed");
      }
      return;
    case State::AttributeValue:
      // Values are never used; a '<' in one is let pass, as lenient readers do.
      if (c == quote_) {
        quote_ = 0;
        state_ = State::Attributes;
      }
      return;
  }
}

}  // namespace triage
