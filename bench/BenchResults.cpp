#include "bench/BenchResults.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace orvane::bench {

namespace {

std::string Format(const char *format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

double Ms(uint64_t ns) {
  return static_cast<double>(ns) / 1e6;
}

double Seconds(uint64_t us) {
  return static_cast<double>(us) / 1e6;
}

bool FillsPart(const UpdateFigures &update) {
  const auto part = sim::FindFlashPart(update.part);
  return part && update.imageBytes == part->sizeBytes;
}

std::string RequestKey(size_t request) {
  return Format("0x%02X", static_cast<unsigned>(request));
}

using Json = nlohmann::ordered_json;

// A ratio to six significant digits, as printf's %g gives it: whole
// numbers without a fraction.
Json SixDigits(double value) {
  const double rounded = std::strtod(Format("%.6g", value).c_str(), nullptr);
  if (std::isfinite(rounded) && rounded == std::trunc(rounded) && std::fabs(rounded) < 1e15)
    return static_cast<int64_t>(rounded);
  return rounded;
}

Json ByRequest(const std::array<uint64_t, 256> &transfers) {
  Json json = Json::object();
  for (size_t r = 0; r < transfers.size(); ++r)
    if (transfers[r])
      json[RequestKey(r)] = transfers[r];
  return json;
}

Json Budget(const sim::UpdateTimeBudget &budget) {
  Json json = Json::object();
  json["total_us"] = budget.totalUs;
  json["transfer_us"] = budget.transferUs;
  json["sleep_us"] = budget.sleepUs;
  json["flash_wait_us"] = budget.flashWaitUs;
  json["transfers"] = budget.TransferCount();
  json["transfers_by_request"] = ByRequest(budget.transfers);
  return json;
}

Json Update(const UpdateFigures &update) {
  Json json = Json::object();
  json["part"] = update.part;
  json["image_bytes"] = uint64_t{update.imageBytes};
  json["fills_part"] = FillsPart(update);
  json["transfer_latency_us"] = update.latencyUs;
  json["verdict_success"] = update.verdict;
  json["flash_holds_image"] = update.flashHoldsImage;
  json["transfers"] = update.TransferCount();
  json["transfers_by_request"] = ByRequest(update.transfers);
  json["modelled_us"] = update.modelledUs;
  json["minimum"] = Budget(update.minimum);
  json["flash_floor"] = Budget(update.floor);
  json["ratio_to_minimum"] = SixDigits(update.RatioToMinimum());
  json["ratio_to_flash_floor"] = SixDigits(update.RatioToFloor());
  json["host_cpu_ns"] = update.hostNs;
  json["driver_emulation_ns"] = update.driverNs;
  json["device_model_ns"] = update.deviceModelNs;
  json["thread_cpu_ns"] = update.threadCpuNs;
  json["message_loop_turns"] = update.loopTurns;
  json["longest_loop_gap_host_ns"] = update.longestLoopGapHostNs;
  json["longest_loop_gap_device_us"] = update.longestLoopGapDeviceUs;
  json["longest_loop_gap_combined_us"] = update.longestLoopGapCombinedUs;
  return json;
}

double WallRatio(const ConcurrentFigures &run, const ConcurrentFigures &one) {
  return one.wallNs ? static_cast<double>(run.wallNs) / static_cast<double>(one.wallNs) : 0.0;
}

} // namespace

std::vector<std::string> ShortfallsOf(const BenchResults &results) {
  std::vector<std::string> shortfalls;
  for (const SpeedRun &run : results.runs) {
    for (const UpdateFigures &update : run.updates) {
      const std::string where = Format("%s, %s, %u bytes", run.speed.name.c_str(), update.part.c_str(),
                                       static_cast<unsigned>(update.imageBytes));
      if (!update.verdict || !update.flashHoldsImage)
        shortfalls.push_back(where + ": the update did not put the image into the flash");
      if (FillsPart(update) && update.RatioToMinimum() > kMaxRatioToMinimum)
        shortfalls.push_back(where + Format(": %.3f of the minimum", update.RatioToMinimum()));
      if (update.longestLoopGapHostNs >= kMaxLoopGapHostNs)
        shortfalls.push_back(where + Format(": the message loop waited %.1f ms", Ms(update.longestLoopGapHostNs)));
    }
  }
  for (const ReaderFigures &reader : results.readers)
    if (!reader.loaded)
      shortfalls.push_back("the " + reader.reader + " reader did not load the image");
  for (const ConcurrentFigures &run : results.concurrent)
    if (run.succeeded != run.devices)
      shortfalls.push_back(Format("%d devices at once: %d of them updated", run.devices, run.succeeded));
  if (results.concurrent.size() > 1) {
    const double ratio = WallRatio(results.concurrent.back(), results.concurrent.front());
    if (ratio > kMaxConcurrentWallRatio)
      shortfalls.push_back(
          Format("%d devices at once took %.2f times the wall time of one", results.concurrent.back().devices, ratio));
  }
  return shortfalls;
}

std::string ResultsJson(const BenchResults &results, const std::vector<std::string> &shortfalls) {
  Json json = Json::object();
  Json &updates = json["updates"] = Json::array();
  for (const SpeedRun &run : results.runs) {
    Json bus = Json::object();
    bus["bus"] = run.speed.name;
    bus["transfer_latency_us"] = run.speed.transferLatencyUs;
    Json &runs = bus["runs"] = Json::array();
    for (const UpdateFigures &update : run.updates)
      runs.push_back(Update(update));
    updates.push_back(std::move(bus));
  }
  Json &readers = json["readers"] = Json::array();
  for (const ReaderFigures &reader : results.readers) {
    Json &figures = readers.emplace_back(Json::object());
    figures["reader"] = reader.reader;
    figures["image_bytes"] = uint64_t{reader.imageBytes};
    figures["file_bytes"] = reader.fileBytes;
    figures["runs"] = static_cast<uint64_t>(reader.runs);
    figures["median_ns"] = reader.medianNs;
    figures["fastest_ns"] = reader.fastestNs;
    figures["loaded"] = reader.loaded;
  }
  Json &monitorTicks = json["monitor_ticks"] = Json::array();
  for (const MonitorFigures &monitor : results.monitor) {
    Json &figures = monitorTicks.emplace_back(Json::object());
    figures["scenario"] = monitor.scenario;
    figures["devices"] = static_cast<uint64_t>(monitor.devices);
    figures["ticks"] = static_cast<uint64_t>(monitor.ticks);
    figures["mean_ns"] = monitor.meanNs;
    figures["longest_ns"] = monitor.longestNs;
  }
  Json &atOnce = json["devices_at_once"] = Json::array();
  for (const ConcurrentFigures &run : results.concurrent) {
    Json &figures = atOnce.emplace_back(Json::object());
    figures["devices"] = static_cast<uint64_t>(run.devices);
    figures["image_bytes"] = uint64_t{run.imageBytes};
    figures["transfer_latency_us"] = run.latencyUs;
    figures["time_scale"] = SixDigits(run.timeScale);
    figures["succeeded"] = static_cast<uint64_t>(run.succeeded);
    figures["modelled_us"] = run.modelledUs;
    figures["wall_ns"] = run.wallNs;
    figures["process_cpu_ns"] = run.cpuNs;
    figures["wall_ratio_to_one"] = SixDigits(WallRatio(run, results.concurrent.front()));
  }
  json["shortfalls"] = shortfalls;
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ResultsTable(const BenchResults &results) {
  std::string table;
  table += "One-button update (modelled device time; host, driver and model times are host CPU)\n";
  table += Format("%-5s %-6s %7s %4s %9s %9s %9s %9s %6s %6s %8s %8s %8s %9s %9s\n", "bus", "part", "image", "ok",
                  "transfers", "needed", "modelled", "minimum", "ratio", "floor", "host", "driver", "model", "loop gap",
                  "loop gap");
  table += Format("%-5s %-6s %7s %4s %9s %9s %9s %9s %6s %6s %8s %8s %8s %9s %9s\n", "", "", "KB", "", "", "", "s", "s",
                  "", "ratio", "ms", "ms", "ms", "host ms", "device ms");
  std::set<size_t> requests;
  for (const SpeedRun &run : results.runs) {
    for (const UpdateFigures &update : run.updates) {
      table += Format("%-5s %-6s %7u %4s %9llu %9llu %9.3f %9.3f %6.3f %6.3f %8.1f %8.1f %8.1f %9.3f %9.1f\n",
                      run.speed.name.c_str(), update.part.c_str(), static_cast<unsigned>(update.imageBytes / 1024),
                      update.verdict && update.flashHoldsImage ? "yes" : "NO",
                      static_cast<unsigned long long>(update.TransferCount()),
                      static_cast<unsigned long long>(update.minimum.TransferCount()), Seconds(update.modelledUs),
                      Seconds(update.minimum.totalUs), update.RatioToMinimum(), update.RatioToFloor(),
                      Ms(update.hostNs), Ms(update.driverNs), Ms(update.deviceModelNs), Ms(update.longestLoopGapHostNs),
                      static_cast<double>(update.longestLoopGapDeviceUs) / 1e3);
      for (size_t r = 0; r < update.transfers.size(); ++r)
        if (update.transfers[r] || update.minimum.transfers[r])
          requests.insert(r);
    }
  }

  table += "\nTransfers by request code (necessary ones in brackets where they differ)\n";
  table += Format("%-5s %-6s %7s", "bus", "part", "KB");
  for (const size_t r : requests)
    table += Format(" %15s", RequestKey(r).c_str());
  table += "\n";
  for (const SpeedRun &run : results.runs) {
    for (const UpdateFigures &update : run.updates) {
      table += Format("%-5s %-6s %7u", run.speed.name.c_str(), update.part.c_str(),
                      static_cast<unsigned>(update.imageBytes / 1024));
      for (const size_t r : requests) {
        const auto actual = static_cast<unsigned long long>(update.transfers[r]);
        const auto necessary = static_cast<unsigned long long>(update.minimum.transfers[r]);
        table += actual == necessary ? Format(" %15llu", actual) : Format(" %6llu (%6llu)", actual, necessary);
      }
      table += "\n";
    }
  }

  table += "\nImage readers\n";
  for (const ReaderFigures &reader : results.readers)
    table += Format("%-7s %4u KB image, %7llu-byte file: median %7.3f ms, fastest %7.3f ms over %d runs%s\n",
                    reader.reader.c_str(), static_cast<unsigned>(reader.imageBytes / 1024),
                    static_cast<unsigned long long>(reader.fileBytes), Ms(reader.medianNs), Ms(reader.fastestNs),
                    reader.runs, reader.loaded ? "" : "  NOT LOADED");
  table += "\nConnection monitor, one tick\n";
  for (const MonitorFigures &monitor : results.monitor)
    table += Format("%-8s %3d devices: mean %8.3f ms, longest %8.3f ms over %d ticks\n", monitor.scenario.c_str(),
                    monitor.devices, Ms(monitor.meanNs), Ms(monitor.longestNs), monitor.ticks);
  if (!results.concurrent.empty()) {
    const ConcurrentFigures &one = results.concurrent.front();
    table += Format("\nDevices updated at once (%u KB image, %llu us a transfer, device time %.0fx real time)\n",
                    static_cast<unsigned>(one.imageBytes / 1024), static_cast<unsigned long long>(one.latencyUs),
                    one.timeScale);
    table += Format("%7s %4s %10s %8s %9s %8s %11s\n", "devices", "ok", "modelled s", "wall s", "x one", "CPU s",
                    "CPU/device s");
    for (const ConcurrentFigures &run : results.concurrent)
      table += Format("%7d %4s %10.3f %8.3f %9.3f %8.3f %11.3f%s\n", run.devices,
                      run.succeeded == run.devices ? "yes" : "NO", Seconds(run.modelledUs), Ms(run.wallNs) / 1e3,
                      WallRatio(run, one), Ms(run.cpuNs) / 1e3, Ms(run.cpuNs) / 1e3 / run.devices,
                      run.devices > 1 && WallRatio(run, one) > kMaxConcurrentWallRatio ? "  over 1.3" : "");
  }
  return table;
}

} // namespace orvane::bench
