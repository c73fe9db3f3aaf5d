#include "bench/BenchResults.h"

#include "bench/JsonWriter.h"

#include <cstdio>
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

void WriteByRequest(JsonWriter &json, const std::array<uint64_t, 256> &transfers) {
  json.BeginObject("transfers_by_request");
  for (size_t r = 0; r < transfers.size(); ++r)
    if (transfers[r])
      json.Value(RequestKey(r), transfers[r]);
  json.EndObject();
}

void WriteBudget(JsonWriter &json, const std::string &key, const sim::UpdateTimeBudget &budget) {
  json.BeginObject(key)
      .Value("total_us", budget.totalUs)
      .Value("transfer_us", budget.transferUs)
      .Value("sleep_us", budget.sleepUs)
      .Value("flash_wait_us", budget.flashWaitUs)
      .Value("transfers", budget.TransferCount());
  WriteByRequest(json, budget.transfers);
  json.EndObject();
}

void WriteUpdate(JsonWriter &json, const UpdateFigures &update) {
  json.BeginObject()
      .Value("part", update.part)
      .Value("image_bytes", uint64_t{update.imageBytes})
      .Value("fills_part", FillsPart(update))
      .Value("transfer_latency_us", update.latencyUs)
      .Value("verdict_success", update.verdict)
      .Value("flash_holds_image", update.flashHoldsImage)
      .Value("transfers", update.TransferCount());
  WriteByRequest(json, update.transfers);
  json.Value("modelled_us", update.modelledUs);
  WriteBudget(json, "minimum", update.minimum);
  WriteBudget(json, "flash_floor", update.floor);
  json.Value("ratio_to_minimum", update.RatioToMinimum())
      .Value("ratio_to_flash_floor", update.RatioToFloor())
      .Value("host_cpu_ns", update.hostNs)
      .Value("driver_emulation_ns", update.driverNs)
      .Value("device_model_ns", update.deviceModelNs)
      .Value("thread_cpu_ns", update.threadCpuNs)
      .Value("message_loop_turns", update.loopTurns)
      .Value("longest_loop_gap_host_ns", update.longestLoopGapHostNs)
      .Value("longest_loop_gap_device_us", update.longestLoopGapDeviceUs)
      .Value("longest_loop_gap_combined_us", update.longestLoopGapCombinedUs)
      .EndObject();
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
  JsonWriter json;
  json.BeginObject().BeginArray("updates");
  for (const SpeedRun &run : results.runs) {
    json.BeginObject().Value("bus", run.speed.name).Value("transfer_latency_us", run.speed.transferLatencyUs);
    json.BeginArray("runs");
    for (const UpdateFigures &update : run.updates)
      WriteUpdate(json, update);
    json.EndArray().EndObject();
  }
  json.EndArray().BeginArray("readers");
  for (const ReaderFigures &reader : results.readers)
    json.BeginObject()
        .Value("reader", reader.reader)
        .Value("image_bytes", uint64_t{reader.imageBytes})
        .Value("file_bytes", reader.fileBytes)
        .Value("runs", static_cast<uint64_t>(reader.runs))
        .Value("median_ns", reader.medianNs)
        .Value("fastest_ns", reader.fastestNs)
        .Value("loaded", reader.loaded)
        .EndObject();
  json.EndArray().BeginArray("monitor_ticks");
  for (const MonitorFigures &monitor : results.monitor)
    json.BeginObject()
        .Value("scenario", monitor.scenario)
        .Value("devices", static_cast<uint64_t>(monitor.devices))
        .Value("ticks", static_cast<uint64_t>(monitor.ticks))
        .Value("mean_ns", monitor.meanNs)
        .Value("longest_ns", monitor.longestNs)
        .EndObject();
  json.EndArray().BeginArray("devices_at_once");
  for (const ConcurrentFigures &run : results.concurrent)
    json.BeginObject()
        .Value("devices", static_cast<uint64_t>(run.devices))
        .Value("image_bytes", uint64_t{run.imageBytes})
        .Value("transfer_latency_us", run.latencyUs)
        .Value("time_scale", run.timeScale)
        .Value("succeeded", static_cast<uint64_t>(run.succeeded))
        .Value("modelled_us", run.modelledUs)
        .Value("wall_ns", run.wallNs)
        .Value("process_cpu_ns", run.cpuNs)
        .Value("wall_ratio_to_one", WallRatio(run, results.concurrent.front()))
        .EndObject();
  json.EndArray().BeginArray("shortfalls");
  for (const std::string &shortfall : shortfalls)
    json.Value("", shortfall);
  json.EndArray().EndObject();
  return json.Text();
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
