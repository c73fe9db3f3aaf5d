#include "cli/YesNoQuestion.h"

#include <algorithm>
#include <cctype>

namespace orvane {

bool AskYesNo(std::istream &in, std::ostream &out, const std::string &question) {
  out << "Warning: " << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(in, answer)) {
    out << '\n' << std::flush;
    return false;
  }
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  answer.erase(answer.begin(), std::find_if_not(answer.begin(), answer.end(), blank));
  answer.erase(std::find_if_not(answer.rbegin(), answer.rend(), blank).base(), answer.end());
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer == "y" || answer == "yes";
}

} // namespace orvane
