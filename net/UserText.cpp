// Texts with arguments, composed after translation.
#include "net/UserText.h"

SUserText TextValue(std::string value) {
  SUserText text;
  text.format = std::move(value);
  text.value = true;
  return text;
}

std::string SUserText::Compose(
    const std::function<std::string(const std::string&)>& translate) const {
  if (value) return format;
  std::vector<std::string> composed;
  composed.reserve(args.size());
  for (const SUserText& arg : args) composed.push_back(arg.Compose(translate));
  return SubstituteArgs(translate ? translate(format) : format, composed);
}

std::string SubstituteArgs(const std::string& format, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(format.size());
  for (size_t i = 0; i < format.size(); ++i) {
    const char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (format[i] == '%' && next >= '1' && next <= '9' && size_t(next - '1') < args.size()) {
      out += args[size_t(next - '1')];
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}
