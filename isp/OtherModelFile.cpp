#include "isp/OtherModelFile.h"

#include "isp/ImageFileOpen.h"
#include "isp/UpdateFileName.h"

namespace orvane {

namespace {

bool Carries(const std::string &foldedName, const ModelRow &model) {
  return foldedName.find(FoldedFileName(model.filePrefix)) != std::string::npos;
}

std::string WithArticle(const std::string &name) {
  const char first = FoldedFileName(name.substr(0, 1)).c_str()[0];
  const bool vowel = first == 'a' || first == 'e' || first == 'i' || first == 'o' || first == 'u';
  return (vowel ? "an " : "a ") + name;
}

} // namespace

const ModelRow *OtherModelNamed(const std::string &path, const ModelRow &attached) {
  std::string name;
  try {
    name = FoldedFileName(Utf8FromPath(PathFromUtf8(path).filename()));
  } catch (const std::exception &) {
    return nullptr; // a name the system cannot take names no model either
  }
  if (Carries(name, attached))
    return nullptr;
  // The longest name carried is the most telling one.
  const ModelRow *named = nullptr;
  for (const ModelRow &model : kModels)
    if (Carries(name, model) &&
        (!named || std::string(model.filePrefix).size() > std::string(named->filePrefix).size()))
      named = &model;
  return named;
}

std::string OtherModelWarning(const ModelRow &named, const ModelRow &attached) {
  return std::string("This file is named for ") + named.displayName + "; the attached device is " +
         WithArticle(attached.displayName);
}

} // namespace orvane
