// XML read as a stream of events, fed text piece by piece: nothing is
// built in memory and nothing recurses, so a report of any size or depth
// costs the same few kilobytes. It reads what msinfo32 writes (elements,
// attributes, CDATA, comments, processing instructions, a document type,
// the predefined and numeric entities) and stops at the first thing that is
// not well-formed. Entities a document type declares are left as they are
// written: they are never expanded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace triage {

class XmlEvents {
 public:
  virtual ~XmlEvents() = default;
  virtual void StartElement(std::string_view name, uint64_t line) = 0;
  // `empty`: written as "<name/>".
  virtual void EndElement(bool empty) = 0;
  // Character data of the innermost open element (entities decoded, CDATA
  // as it stands); one element's text may come in several pieces.
  virtual void Text(std::string_view text, uint64_t line) = 0;
};

class XmlStream {
 public:
  // Elements nested deeper than this end the read with an error: a real
  // report is a handful of levels deep.
  static constexpr size_t kMaxDepth = 64;
  // Longer element names are no report's and end the read with an error.
  static constexpr size_t kMaxName = 256;

  explicit XmlStream(XmlEvents& events) : events_(events) {}

  // One piece of the document; `line` is the line it starts on (the pieces
  // are whole lines: a line end is counted after each).
  void FeedLine(std::string_view text, uint64_t line);
  // The document ended: an element left open is an error.
  void Finish();

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  size_t depth() const { return open_.size(); }
  bool seen_root() const { return seen_root_; }

 private:
  enum class State {
    Text,
    Open,            // after '<'
    Bang,            // after "<!"
    Comment,         // inside "<!--"
    Cdata,           // inside "<![CDATA["
    Declaration,     // "<!DOCTYPE ...>" and the like
    Instruction,     // inside "<?"
    EndName,         // after "</"
    StartName,       // the name after '<'
    Attributes,      // inside a start tag, after its name
    AttributeValue,  // inside a quoted value
    Entity,          // after '&' in text
  };

  void Char(char c);
  void Fail(std::string why);
  void FlushText();
  void BeginElement();
  void CloseElement(bool empty);
  void EndEntity();

  XmlEvents& events_;
  State state_ = State::Text;
  uint64_t line_ = 1;
  std::string error_;
  std::vector<std::string> open_;  // names of the open elements, at most kMaxDepth
  bool seen_root_ = false;
  bool root_closed_ = false;

  std::string name_;    // the tag name being read
  std::string marker_;  // what a construct has matched so far ("[CDATA[", "--", ...)
  std::string text_;    // character data not yet handed on
  uint64_t text_line_ = 0;
  std::string entity_;  // after '&', up to ';'
  char quote_ = 0;
  int brackets_ = 0;    // '[' ... ']' nesting inside a declaration
  size_t run_ = 0;      // closing characters matched ("-" of "-->", "]" of "]]>", "?")
  bool slash_ = false;  // '/' seen just before '>' in a start tag
};

}  // namespace triage
