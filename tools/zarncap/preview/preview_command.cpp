// zarncap preview: a live view in the browser with the camera's controls,
// served from the preview's own small HTTP server (cpp-httplib).
#include "tools/zarncap/preview/preview_command.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tools/zarncap/host/format_map.h"
#include "tools/zarncap/host/size_table.h"
#include "tools/zarncap/common/json_text.h"
#include "tools/zarncap/preview/live_view.h"
#include "tools/zarncap/preview/preview_page.h"
#include "tools/zarncap/preview/preview_security.h"
#include "tools/zarncap/media/still_writers.h"
#include "tools/zarncap/common/tool_error.h"
#include "tools/zarncap/host/image_request.h"

namespace zarncap {
namespace {

constexpr const char* kBoundary = "zarncapframe";

// The sizes the selector offers for a format: the sizes to use it accepts and its largest.
std::vector<std::string> OfferedSizes(const FormatSizes& sizes) {
  std::vector<std::string> offered;
  for (const auto& [w, h] : SizesToUse(sizes)) offered.push_back(std::to_string(w) + "x" + std::to_string(h));
  int width = 0, height = 0;
  const std::string largest = LargestSize(sizes, &width, &height) ? std::to_string(width) + "x" + std::to_string(height) : "";
  if (!largest.empty() && (offered.empty() || offered.back() != largest)) offered.push_back(largest);
  return offered;
}

std::string FormatsJson(LiveView& view) {
  const LiveFigures now = view.Figures();
  JsonWriter json;
  json.BeginObject().Key("formats").BeginArray();
  for (const FormatSizes& sizes : view.Accepted()) {
    const std::vector<std::string> offered = OfferedSizes(sizes);
    if (offered.empty()) continue;
    json.BeginObject().Key("format").String(std::string(sizes.format->name)).Key("sizes").BeginArray();
    for (const std::string& size : offered) json.String(size);
    json.EndArray().EndObject();
  }
  json.EndArray().Key("current").BeginObject().Key("format").String(now.format);
  json.Key("size").String(std::to_string(now.width) + "x" + std::to_string(now.height));
  return json.EndObject().EndObject().Text();
}

std::string StatsJson(const LiveFigures& f) {
  JsonWriter json;
  json.BeginObject().Key("fps").Number(f.fps, 2);
  json.Key("frames").Number(static_cast<long long>(f.frames)).Key("dropped").Number(static_cast<long long>(f.dropped));
  json.Key("cpu_ms_per_frame").Number(f.cpuMsPerFrame, 3).Key("mean_level").Number(f.meanLevel, 2);
  json.Key("viewers").Number(f.viewers).Key("format").String(f.format).Key("width").Number(f.width);
  return json.Key("height").Number(f.height).EndObject().Text();
}

std::string PngOf(const LivePicture& picture) {
  char* bytes = nullptr;
  size_t size = 0;
  std::FILE* memory = ::open_memstream(&bytes, &size);
  if (memory == nullptr) return {};
  std::string error;
  const bool ok = WritePng(memory, picture.width, picture.height, *picture.rgb, &error);
  std::fclose(memory);
  std::string png = ok ? std::string(bytes, size) : std::string();
  std::free(bytes);
  return png;
}

void Refuse(httplib::Response& response, int status, const std::string& why) {
  response.status = status;
  response.set_content(why + "\n", "text/plain; charset=utf-8");
}

class PreviewServer {
 public:
  // Viewers, plus slow or idle connections (each dropped within a few
  // seconds), plus the API's own requests.
  static constexpr int kWorkers = LiveView::kMaxViewers + 96;

  PreviewServer(PreviewAddress address, std::string token)
      : address_(std::move(address)), token_(std::move(token)) {
    // The listening socket reuses an address left in TIME_WAIT by an earlier
    // run, but never shares a port with a live listener: the library's own
    // default would set SO_REUSEPORT, and two previews would then both listen
    // on one port and answer each other's pages with different tokens.
    server_.set_socket_options([](socket_t sock) {
      int yes = 1;
      ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Every viewer holds a worker for as long as it watches; slow and idle
    // connections hold one until they time out. The pool has room for all
    // of them at once and still for the page's API requests.
    server_.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    // A request arrives whole in one go from any browser: a client that
    // pauses a second between pieces of it (a slow-sending attacker) is
    // dropped, and an idle connection goes after two seconds.
    server_.set_read_timeout(1, 0);
    server_.set_keep_alive_timeout(2);
    // One request a connection: a request cut short by the timeout ends its
    // connection too, instead of leaving it open for the next trickle.
    server_.set_keep_alive_max_count(1);
    server_.set_write_timeout(5, 0);
    server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
      const RequestFacts facts{request.get_header_value("Host"), request.get_header_value("Origin"),
                               request.get_header_value("X-Zarncap-Token"), request.method != "GET" && request.method != "HEAD"};
      const std::string why = RefusalOf(facts, address_, token_);
      if (why.empty()) return httplib::Server::HandlerResponse::Unhandled;
      Refuse(response, 403, why);
      return httplib::Server::HandlerResponse::Handled;
    });
  }

  // Binds (a port of 0 takes a free one), before the driver opens, so a port
  // in use is told at once; throws ToolError.
  void Bind() {
    if (address_.port == 0) {
      address_.port = server_.bind_to_any_port(address_.host);
      if (address_.port > 0) return;
    } else if (server_.bind_to_port(address_.host, address_.port)) {
      return;
    }
    throw ToolError("cannot listen on " + address_.host + ":" + std::to_string(address_.port) +
                    " (in use, or not an address of this machine)");
  }
  // The page and its API over the live view; before Serve.
  void Route(LiveView& view) {
    view_ = &view;
    server_.Get("/", [this](const httplib::Request&, httplib::Response& response) {
      response.set_header("Cache-Control", "no-store");
      response.set_content(PreviewPage(token_), "text/html; charset=utf-8");
    });
    server_.Get("/stream.mjpg", [this](const httplib::Request&, httplib::Response& response) { Stream(response); });
    server_.Get("/api/controls", [this](const httplib::Request&, httplib::Response& response) { Controls({}, response); });
    server_.Post("/api/controls", [this](const httplib::Request& request, httplib::Response& response) {
      ControlSets sets;
      for (const auto& [name, value] : request.params) sets.emplace_back(name, value);
      Controls(sets, response);
    });
    server_.Get("/api/formats", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(FormatsJson(*view_), "application/json");
    });
    server_.Post("/api/format", [this](const httplib::Request& request, httplib::Response& response) { Format(request, response); });
    server_.Get("/api/stats", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(StatsJson(view_->Figures()), "application/json");
    });
    server_.Get("/api/snapshot.png", [this](const httplib::Request&, httplib::Response& response) {
      const LivePicture picture = view_->Latest();
      if (picture.sequence == 0) return Refuse(response, 503, "no frame yet: open the live view first");
      response.set_header("Content-Disposition", "attachment; filename=\"snapshot.png\"");
      response.set_content(PngOf(picture), "image/png");
    });
  }
  void Serve() { server_.listen_after_bind(); }
  void Stop() { server_.stop(); }
  const PreviewAddress& Address() const { return address_; }

 private:
  void Stream(httplib::Response& response) {
    if (!view_->Join()) return Refuse(response, 503, "too many viewers");
    auto sent = std::make_shared<uint64_t>(0);
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider(
        std::string("multipart/x-mixed-replace; boundary=") + kBoundary,
        [this, sent](size_t, httplib::DataSink& sink) {
          const LivePicture picture = view_->Next(*sent, std::chrono::milliseconds(500));
          if (view_->Closing()) return false;
          // Nothing new yet: asked again, unless the viewer has gone meanwhile.
          if (picture.sequence == 0) return !sink.is_writable || sink.is_writable();
          *sent = picture.sequence;
          const std::string head = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                   std::to_string(picture.jpeg->size()) + "\r\n\r\n";
          return sink.write(head.data(), head.size()) &&
                 sink.write(reinterpret_cast<const char*>(picture.jpeg->data()), picture.jpeg->size()) &&
                 sink.write("\r\n", 2);
        },
        [this](bool) { view_->Leave(); });
  }

  void Controls(const ControlSets& sets, httplib::Response& response) {
    try {
      const std::vector<ControlValue> controls = view_->Controls(sets);
      response.set_content(ControlsJson(controls, WhiteBalanceGains(view_->SettingsPath())), "application/json");
    } catch (const ToolError& error) {
      Refuse(response, error.ExitCode() == kExitUsage ? 400 : 500, error.what());
    }
  }

  void Format(const httplib::Request& request, httplib::Response& response) {
    try {
      const ImageRequest image =
          ParseImageRequest(request.get_param_value("size"), request.get_param_value("format"), true);
      view_->SetFormat(*image.format, image.width, image.height);
      response.set_content(FormatsJson(*view_), "application/json");
    } catch (const PreviewBusy& busy) {
      response.set_header("Retry-After", "1");
      Refuse(response, 503, busy.what());
    } catch (const ToolError& error) {
      Refuse(response, 400, error.what());
    }
  }

  LiveView* view_ = nullptr;
  PreviewAddress address_;
  std::string token_;
  httplib::Server server_;
};

}  // namespace

int RunPreview(const GlobalOptions& global, const PreviewOptions& options, const Host& host) {
  PreviewAddress address = ParseListen(options.listen);
  address.allowedHosts = options.allowHosts;
  const ImageRequest image = ParseImageRequest(options.size, options.format, options.sizeGiven);
  PreviewServer server(address, NewToken());
  server.Bind();
  LiveView view(global, host, *image.format, image.width, image.height, image.sizeGiven);
  server.Route(view);
  Say(host, host.out, "zarncap: preview at %s (Ctrl-C ends it)\n", OpenableUrl(server.Address()).c_str());
  std::fflush(host.out);
  std::thread listener([&server] { server.Serve(); });
  while (host.interrupted == nullptr || !host.interrupted->load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  view.Close();  // viewers' streams end, the worker stops the driver's stream
  server.Stop();
  listener.join();
  // Ctrl-C or SIGTERM is how a preview ends: a stop asked for, not a failure.
  Say(host, host.out, "zarncap: preview stopped\n");
  return kExitInterrupted;
}

}  // namespace zarncap
