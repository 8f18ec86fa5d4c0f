// velmora-model-hub: a stand-in for the public model hub, on loopback.
//
// Serves the stand-in model files (small JSON scripts for the stand-in helpers, padded with
// spaces to a fixed size) at any path ending in their file name, with ranged GET requests as
// the downloader uses them. The bytes are made on the fly; nothing is stored. The application
// knows the same files by their own manifests (launch setting "-modelManifests standIn").
//   --port N        listen on this port (default 0: any free one)
//   --url-file F    write the base address ("http://127.0.0.1:PORT") to F once listening
//   --rate-mib N    send at most N MiB per second (default 0: no limit), so progress shows
// The hub ends with its parent process, or on SIGTERM.

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct StandInFile {
    const char *name;
    const char *script; // what the stand-in helper reads from the file
    size_t size;
};

// The application's stand-in manifests give these sizes and the SHA-256 of these bytes.
constexpr StandInFile kFiles[] = {
    // The speech script leaves the backend the application expects.
    {"velmora-standin-speech.bin", "{}", 24u << 20},
    {"velmora-standin-writing.bin", "{\"tokenDelayMs\":20}", 48u << 20},
    {"velmora-standin-draft.bin", "{}", 4u << 20},
};

// Bytes [offset, offset + length) of a file: the script, spaces, and a final newline.
void fill(const StandInFile &file, size_t offset, size_t length, char *out) {
    const size_t scriptLength = std::strlen(file.script);
    for (size_t i = 0; i < length; ++i) {
        const size_t at = offset + i;
        if (at < scriptLength)
            out[i] = file.script[at];
        else if (at + 1 == file.size)
            out[i] = '\n';
        else
            out[i] = ' ';
    }
}

const StandInFile *find(const std::string &path) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const auto &f : kFiles)
        if (name == f.name)
            return &f;
    return nullptr;
}

} // namespace

int main(int argc, char **argv) {
    int port = 0;
    std::string urlFile;
    double rateMiB = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--port")
            port = std::atoi(argv[i + 1]);
        else if (key == "--url-file")
            urlFile = argv[i + 1];
        else if (key == "--rate-mib")
            rateMiB = std::atof(argv[i + 1]);
    }
    // Never outlive whoever started us (a script killed without its clean-up).
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1)
        return 0;

    httplib::Server server;
    server.Get(R"(/.*)", [rateMiB](const httplib::Request &request, httplib::Response &response) {
        const StandInFile *file = find(request.path);
        if (!file) {
            response.status = 404;
            return;
        }
        response.set_content_provider(file->size, "application/octet-stream",
                                      [file, rateMiB](size_t offset, size_t length, httplib::DataSink &sink) {
                                          const size_t chunk = std::min<size_t>(length, 256 * 1024);
                                          std::vector<char> bytes(chunk);
                                          fill(*file, offset, chunk, bytes.data());
                                          if (rateMiB > 0)
                                              std::this_thread::sleep_for(
                                                  std::chrono::duration<double>(double(chunk) / (rateMiB * 1048576.0)));
                                          return sink.write(bytes.data(), chunk);
                                      });
    });

    const int bound =
        port > 0 ? (server.bind_to_port("127.0.0.1", port) ? port : -1) : server.bind_to_any_port("127.0.0.1");
    if (bound <= 0) {
        std::fprintf(stderr, "velmora-model-hub: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(bound);
    if (!urlFile.empty()) {
        const std::string temporary = urlFile + ".part";
        {
            std::ofstream out(temporary);
            out << base << '\n';
        }
        std::rename(temporary.c_str(), urlFile.c_str());
    }
    std::printf("%s\n", base.c_str());
    std::fflush(stdout);
    server.listen_after_bind();
    return 0;
}
