#include "usb/VirtualUsbServer.h"

#include "usb/VirtualDeviceName.h"
#include "usb/VirtualUsbSession.h"
#include "usb/windows/VirtualPipe.h"
#include "usb/windows/WideText.h"

#include <windows.h>

#include <knownfolders.h>

#include <memory>
#include <vector>

// Virtual devices on Windows: one named pipe per device, announced by a
// marker file (see usb/windows/VirtualPipe.h). Every connection is one
// pipe instance; all of them are served one request at a time on the
// thread that calls Run, as on Linux.

namespace orvane {

namespace {

constexpr DWORD kPollIntervalMs = 100;
// A client that stops reading its answers is dropped after this long rather
// than stalling every other connection.
constexpr int kResponseSendTimeoutMs = 1000;
constexpr DWORD kPipeBufferSize = 65536;
constexpr DWORD kReceiveChunk = 16384;
// One wait covers at most 64 handles: the listener and 63 connections.
constexpr size_t kMostConnections = MAXIMUM_WAIT_OBJECTS - 1;
// A cancelled read comes back at once; one that does not is given up.
constexpr DWORD kCancelGraceMs = 1000;

// One pipe instance: listening for a client, then serving it.
struct Instance {
  UniqueHandle pipe;
  UniqueHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED overlapped{};
  bool pending = false; // a connect or read is under way in overlapped
  uint8_t chunk[kReceiveChunk];
  std::unique_ptr<VirtualUsbSession> session;
};

// Ends what is under way on the instance before its memory goes. A call the
// system does not give back after its cancellation keeps the instance for
// good: freeing it would hand the system memory it still writes to.
void Retire(std::unique_ptr<Instance> instance) {
  if (!instance || !instance->pending || !instance->pipe.valid())
    return;
  ::CancelIoEx(instance->pipe.get(), &instance->overlapped);
  if (::WaitForSingleObject(instance->event.get(), kCancelGraceMs) != WAIT_OBJECT_0)
    static_cast<void>(instance.release()); // the system's now: freeing it would hand it memory in use
}

} // namespace

std::string VirtualDeviceDirectory() {
  std::string why;
  const auto local = KnownFolder(FOLDERID_LocalAppData, &why);
  return local ? *local + "\\vantrel-vusb" : std::string();
}

struct VirtualUsbServer::Impl {
  Impl(VirtualDevice &device, std::string name, std::string directory)
      : device(device), name(std::move(name)), directory(std::move(directory)) {}

  bool PrepareDirectory(std::string *error);
  bool PublishMarker(std::string *error);
  std::unique_ptr<Instance> NewInstance(bool first, std::string *error);
  // Starts waiting for the next client on listener.
  bool Listen();
  void Accept();
  // false: the connection is to be closed.
  bool ReadFrom(Instance &connection);
  bool StartRead(Instance &connection);
  void CloseConnection(size_t position);
  std::string MarkerPath() const { return directory + "\\" + name + std::string(kVirtualMarkerSuffix); }

  VirtualDevice &device;
  std::string name;
  std::string directory;
  std::string pipeName;
  UniqueHandle marker;
  std::unique_ptr<Instance> listener;
  std::vector<std::unique_ptr<Instance>> connections;
};

bool VirtualUsbServer::Impl::PrepareDirectory(std::string *error) {
  if (directory.empty()) {
    *error = "the local application data folder is unknown";
    return false;
  }
  const std::wstring wide = WideFromUtf8(directory);
  if (!::CreateDirectoryW(wide.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = "cannot create " + directory + ": " + SystemMessage(::GetLastError());
    return false;
  }
  // Clients ignore a folder that is a link to elsewhere; so does the server.
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    *error = directory + " is not a folder (a link is not accepted)";
    return false;
  }
  return true;
}

std::unique_ptr<Instance> VirtualUsbServer::Impl::NewInstance(bool first, std::string *error) {
  auto instance = std::make_unique<Instance>();
  // The first instance makes the name ours: a pipe of that name someone
  // else made already fails it.
  const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  instance->pipe.reset(::CreateNamedPipeW(WideFromUtf8(pipeName).c_str(), openMode,
                                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                          PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, 0, nullptr));
  if (!instance->pipe.valid() || !instance->event.valid()) {
    *error = "cannot create the pipe " + pipeName + ": " + SystemMessage(::GetLastError());
    return nullptr;
  }
  instance->overlapped.hEvent = instance->event.get();
  return instance;
}

bool VirtualUsbServer::Impl::PublishMarker(std::string *error) {
  const std::string path = MarkerPath();
  const std::wstring wide = WideFromUtf8(path);
  // Deleted by the system when the handle goes, also when the server
  // crashes: a marker lives exactly as long as its server.
  const auto create = [&] {
    return ::CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  };
  marker.reset(create());
  if (!marker.valid() && ::GetLastError() == ERROR_FILE_EXISTS) {
    std::string why;
    const auto served = ReadVirtualMarker(path, &why);
    UniqueHandle probe(served ? ConnectPipe(*served, 0) : INVALID_HANDLE_VALUE);
    if (probe.valid()) {
      *error = "a device named " + name + " is already being served";
      return false;
    }
    // Stale: its server is gone without the system removing it.
    ::DeleteFileW(wide.c_str());
    marker.reset(create());
  }
  if (!marker.valid()) {
    *error = "cannot create " + path + ": " + SystemMessage(::GetLastError());
    return false;
  }
  const std::string text = pipeName + "\n";
  DWORD written = 0;
  if (!::WriteFile(marker.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    *error = "cannot write " + path + ": " + SystemMessage(::GetLastError());
    marker.reset();
    return false;
  }
  return true;
}

bool VirtualUsbServer::Impl::Listen() {
  listener->pending = false;
  ::ResetEvent(listener->event.get());
  if (::ConnectNamedPipe(listener->pipe.get(), &listener->overlapped)) {
    ::SetEvent(listener->event.get());
    return true;
  }
  switch (::GetLastError()) {
  case ERROR_IO_PENDING:
    listener->pending = true;
    return true;
  case ERROR_PIPE_CONNECTED: // a client came between create and connect
    ::SetEvent(listener->event.get());
    return true;
  default:
    return false;
  }
}

bool VirtualUsbServer::Impl::StartRead(Instance &connection) {
  ::ResetEvent(connection.event.get());
  if (::ReadFile(connection.pipe.get(), connection.chunk, kReceiveChunk, nullptr, &connection.overlapped) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    connection.pending = true;
    return true;
  }
  return false;
}

void VirtualUsbServer::Impl::Accept() {
  DWORD ignored = 0;
  const bool connected = !listener->pending ||
                         ::GetOverlappedResult(listener->pipe.get(), &listener->overlapped, &ignored, FALSE) ||
                         ::GetLastError() == ERROR_PIPE_CONNECTED;
  listener->pending = false;
  std::string error;
  auto next = NewInstance(false, &error);
  if (!next) {
    // Out of pipe instances: this one stays the listener.
    if (connected)
      ::DisconnectNamedPipe(listener->pipe.get());
    Listen();
    return;
  }
  std::unique_ptr<Instance> accepted = std::move(listener);
  listener = std::move(next);
  Listen();
  // An unplugged device cannot be opened: the connection ends at once,
  // which a client sees as an absent device.
  if (!connected || !device.Present() || connections.size() >= kMostConnections)
    return;
  accepted->session = std::make_unique<VirtualUsbSession>(device);
  if (!StartRead(*accepted))
    return Retire(std::move(accepted));
  connections.push_back(std::move(accepted));
  device.ConnectionOpened();
}

bool VirtualUsbServer::Impl::ReadFrom(Instance &connection) {
  DWORD received = 0;
  connection.pending = false;
  if (!::GetOverlappedResult(connection.pipe.get(), &connection.overlapped, &received, FALSE) || received == 0)
    return false;
  const auto responses = connection.session->Receive(std::span<const uint8_t>(connection.chunk, received));
  if (!responses)
    return false;
  for (const auto &response : *responses)
    if (WritePipe(connection.pipe.get(), response, PipeDeadline(kResponseSendTimeoutMs)) != PipeOutcome::Done)
      return false;
  return StartRead(connection);
}

void VirtualUsbServer::Impl::CloseConnection(size_t position) {
  Retire(std::move(connections[position]));
  connections.erase(connections.begin() + static_cast<ptrdiff_t>(position));
  device.ConnectionClosed();
}

VirtualUsbServer::VirtualUsbServer(VirtualDevice &device, std::string name, std::string directory)
    : impl_(new Impl(device, std::move(name), directory.empty() ? VirtualDeviceDirectory() : std::move(directory))) {}

VirtualUsbServer::~VirtualUsbServer() {
  Stop();
  delete impl_;
}

bool VirtualUsbServer::Start(std::string *error) {
  std::string ignored;
  if (!error)
    error = &ignored;
  Impl &s = *impl_;
  if (s.listener) {
    *error = "already started";
    return false;
  }
  if (!IsValidVirtualDeviceName(s.name)) {
    *error = "invalid device name \"" + s.name + "\" (allowed: 1 to 64 of A-Z a-z 0-9 _ . -)";
    return false;
  }
  if (!s.PrepareDirectory(error))
    return false;
  s.pipeName = VirtualPipeName(s.name);
  s.listener = s.NewInstance(true, error);
  if (!s.listener)
    return false;
  // The marker comes last: a client that finds it finds the pipe too.
  if (!s.PublishMarker(error) || !s.Listen()) {
    if (error->empty())
      *error = "cannot wait for clients on " + s.pipeName + ": " + SystemMessage(::GetLastError());
    Retire(std::move(s.listener));
    s.marker.reset();
    return false;
  }
  return true;
}

void VirtualUsbServer::Run(const std::atomic<bool> &stop) {
  Impl &s = *impl_;
  std::vector<HANDLE> events;
  while (!stop.load() && s.listener) {
    events.clear();
    events.push_back(s.listener->event.get());
    for (const auto &connection : s.connections)
      events.push_back(connection->event.get());
    const DWORD ready =
        ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, kPollIntervalMs);
    if (ready == WAIT_TIMEOUT)
      continue;
    if (ready >= WAIT_OBJECT_0 + events.size())
      return;
    // Every connection whose read came back, backwards so that closing one
    // leaves the earlier places valid; then a new client.
    for (size_t i = s.connections.size(); i-- > 0;) {
      if (::WaitForSingleObject(s.connections[i]->event.get(), 0) != WAIT_OBJECT_0)
        continue;
      if (!s.ReadFrom(*s.connections[i]))
        s.CloseConnection(i);
    }
    if (::WaitForSingleObject(s.listener->event.get(), 0) == WAIT_OBJECT_0)
      s.Accept();
  }
}

void VirtualUsbServer::Stop() {
  Impl &s = *impl_;
  while (!s.connections.empty())
    s.CloseConnection(s.connections.size() - 1);
  Retire(std::move(s.listener));
  s.marker.reset();
}

std::string VirtualUsbServer::SocketPath() const {
  return impl_->MarkerPath();
}

} // namespace orvane
