// A text the user reads, kept apart from its arguments until it is shown. The layers
// without a window write their texts in Chinese, the program's source language; the
// window translates a text where it shows it. A line with a name, an address, a count or
// a reason in it is therefore a format with %1 ... %9 where its arguments go, plus the
// arguments: the window translates the format first and substitutes the arguments after,
// so a translation can put them where its grammar wants them.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct SUserText {
  // A source text: Chinese, with %1 ... %9 for the arguments. For a value, the value.
  std::string format;
  // The arguments, each a text of its own (translated too) or a value.
  std::vector<SUserText> args;
  // A value (a name, an address, a count, the words of a server) is shown as it is.
  bool value = false;

  SUserText() = default;
  // A plain source text; implicit so that a literal can stand where a text is wanted.
  SUserText(const char* source) : format(source ? source : "") {}  // NOLINT
  SUserText(const char* source, std::vector<SUserText> arguments)
      : format(source ? source : ""), args(std::move(arguments)) {}

  bool empty() const { return format.empty() && args.empty(); }
  // The text as shown without a translation: the Chinese original.
  std::string Chinese() const { return Compose(nullptr); }
  // The text with every source text (this format and the arguments' formats) passed
  // through translate, then the arguments substituted. Null translate: Chinese().
  std::string Compose(const std::function<std::string(const std::string&)>& translate) const;
};

// A value shown as it is, never translated.
SUserText TextValue(std::string value);

// format with %1 ... %9 replaced by args[0] ... args[8], in one pass (a "%2" inside an
// argument stays as it is). A placeholder without an argument, and "%" before anything
// but 1-9, are kept.
std::string SubstituteArgs(const std::string& format, const std::vector<std::string>& args);
