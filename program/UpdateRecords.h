#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// An update that was started on a device and has not ended in success:
// which device (where it sat, its serial number, its model) and which file
// was going onto it. A device that comes back in update mode after the
// update was cut short gets that file again, and no other.
struct UpdateRecord {
  std::string location;
  std::string serial; // empty when the device reports none
  std::string model;  // display name, "Orvane-R62"
  std::string file;   // UTF-8, absolute
  uint32_t size = 0;
  uint16_t checksum = 0;
  int64_t startedUnixSeconds = 0;

  bool operator==(const UpdateRecord &) const = default;
};

// The wall clock, seconds since 1970.
int64_t SystemUnixSeconds();

// Records older than this are not taken for recovery: the file the user
// meant then may well not be the one meant now.
inline constexpr int64_t kRecordLifetimeSeconds = 7 * 24 * 60 * 60;

// The records of one user, a file each in a private folder, one per device
// location. Every write goes to a new file that then replaces the old one,
// so a record is whole or absent; every read opens the file once, refuses
// links and anything but a small regular file of this user.
class UpdateRecords {
public:
  // $XDG_STATE_HOME/orvane-updater, else ~/.local/state/orvane-updater; on
  // Windows the local application data folder's orvane-updater\state.
  // Empty when there is no such place (no home folder).
  static std::string DefaultDirectory();

  // directory empty: nothing is kept and nothing found.
  explicit UpdateRecords(std::string directory) : directory_(std::move(directory)) {}

  // Why the last Save failed; empty after a success.
  [[nodiscard]] bool Save(const UpdateRecord &record);
  const std::string &Error() const { return error_; }
  // Forgets the device's record: at its location, and any other with its
  // serial number.
  void Clear(const std::string &location, const std::string &serial);
  // The record for a device at location (or, when none is there, with
  // serial), no older than kRecordLifetimeSeconds at nowUnixSeconds.
  std::optional<UpdateRecord> Find(const std::string &location, const std::string &serial,
                                   int64_t nowUnixSeconds) const;

  // The record's text and back: one "key=value" line a field. nullopt for
  // a text that is not a whole record.
  static std::string Text(const UpdateRecord &record);
  static std::optional<UpdateRecord> Parse(const std::string &text);

private:
  std::string PathFor(const std::string &location) const;
  std::vector<UpdateRecord> All() const;

  std::string directory_;
  std::string error_;
};

} // namespace orvane
