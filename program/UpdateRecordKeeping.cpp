#include "program/UpdateRecordKeeping.h"

#include "isp/ImageFileOpen.h"

#include <filesystem>

namespace orvane {

std::optional<UpdateRecord> RecordForUpdate(VantrelUsb &usb, const std::string &model, const ImageRecord &image,
                                            int64_t nowUnixSeconds) {
  const auto place = usb.Bus().PlaceOf(usb.DevicePath());
  if (!place)
    return std::nullopt;
  std::error_code error;
  const auto absolute = std::filesystem::absolute(PathFromUtf8(image.ImageFileName), error);
  return UpdateRecord{place->location,
                      place->serial,
                      model,
                      error ? image.ImageFileName : Utf8FromPath(absolute.lexically_normal()),
                      image.ImageLength,
                      ImageChecksum(image.ImageBuffer, image.ImageLength),
                      nowUnixSeconds};
}

UpdateRecordScope::UpdateRecordScope(UpdateRecords &records, std::optional<UpdateRecord> record, bool recovering)
    : records_(records), record_(std::move(record)), recovering_(recovering) {
  // Without a place to keep it the update runs all the same; only putting
  // its file back by itself after a cut is lost.
  if (record_)
    static_cast<void>(records_.Save(*record_));
}

void UpdateRecordScope::Ended(bool succeeded, bool flashChanged) {
  if (record_ && (succeeded || (!flashChanged && !recovering_)))
    records_.Clear(record_->location, record_->serial);
}

} // namespace orvane
