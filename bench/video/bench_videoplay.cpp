// The whole multiview process playing 16 real streams (one clip 16 times,
// 704 x 576 mpeg4 at 25 fps) on a live wall for N seconds, on every engine
// the build has: CPU seconds per second of video and frames dropped, once
// through the engines' YUV drawing and once the usual way beside it
// (libswscale into RGB QImages, --rgb-video). Rows go into the report as
// figures. N is BENCH_VIDEO_SECONDS (default 10). Needs an X display:
//   xvfb-run -a -s "-screen 0 1920x1080x24" bench_videoplay

#include <benchratio.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const int kStreams = 16;
const int kChildLimitS = 300;

struct Run {
    bool ok = false;
    std::string out;
    double processCpu = 0;  // the child's whole life, from wait4
};

std::string directoryOf(char const* program)
{
    const std::string path = program;
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Runs args[0] with its stdout in a file; what it printed and the CPU it used.
Run run(std::vector<std::string> const& args, std::string const& outPath)
{
    Run r;
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0)
            _exit(127);
        std::vector<char*> argv;
        for (std::string const& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return r;
    int status = 0;
    rusage use{};
    pid_t ended = 0;
    for (int waited = 0; (ended = wait4(pid, &status, WNOHANG, &use)) == 0 && waited < kChildLimitS * 10; ++waited)
        usleep(100000);
    if (ended == 0) {
        kill(pid, SIGKILL);
        wait4(pid, &status, 0, &use);
        std::fprintf(stderr, "bench_videoplay: %s ran past %d s\n", args[0].c_str(), kChildLimitS);
    }
    r.ok = ended == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.processCpu = use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    if (std::FILE* f = std::fopen(outPath.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            r.out.append(buffer, n);
        std::fclose(f);
    }
    return r;
}

// A number of the STATS line, or -1.
double field(std::string const& out, std::string const& name)
{
    const size_t stats = out.rfind("STATS ");
    const size_t at = stats == std::string::npos ? stats : out.find(" " + name + "=", stats);
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + name.size() + 2);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string bin = directoryOf(argv[0]);
    const char* secondsEnv = std::getenv("BENCH_VIDEO_SECONDS");
    const int seconds = secondsEnv && std::atoi(secondsEnv) > 0 ? std::atoi(secondsEnv) : 10;
    char work[] = "/tmp/bench_videoplay.XXXXXX";
    if (!mkdtemp(work)) {
        std::fprintf(stderr, "bench_videoplay: no temporary directory: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string dir = work, clip = dir + "/clip.mkv", out = dir + "/out.txt";
    int failures = 0;
    Run list;
    if (!run({bin + "/makeclip", "--seconds", "4", clip}, out).ok) {
        std::fprintf(stderr, "bench_videoplay: %s/makeclip could not make the clip\n", bin.c_str());
        ++failures;
    } else if (!(list = run({bin + "/multiview", "--list-engines"}, out)).ok) {
        std::fprintf(stderr, "bench_videoplay: %s/multiview --list-engines failed\n", bin.c_str());
        ++failures;
    }
    size_t from = 0;
    for (size_t end; (end = list.out.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string engine = list.out.substr(from, end - from);
        for (bool rgb : {false, true}) {
            std::vector<std::string> args{bin + "/multiview", "--engine", engine, "--seconds", std::to_string(seconds),
                                          "--stats"};
            for (int i = 0; i < kStreams; ++i)
                args.insert(args.end(), {"--source", clip});
            if (rgb)
                args.push_back("--rgb-video");
            std::fprintf(stderr, "running multiview on %s, %d streams%s, %d s ...\n", engine.c_str(), kStreams,
                         rgb ? " through RGB QImages" : "", seconds);
            const Run r = run(args, out);
            const double play = field(r.out, "play_s"), cpu = field(r.out, "cpu_s");
            if (!r.ok || play <= 0 || cpu < 0) {
                std::fprintf(stderr, "bench_videoplay: multiview on %s failed:\n%s\n", engine.c_str(), r.out.c_str());
                ++failures;
                continue;
            }
            const std::string what = engine + (rgb ? " 16 streams, RGB QImages," : " 16 streams, YUV,");
            dbench::figure(what + " CPU per video s", cpu / play, "s/s");
            dbench::figure(what + " frames dropped", field(r.out, "video_dropped"), "frames",
                           rgb || engine == "gl" ? "" : "0");
            dbench::figure(what + " frames shown", field(r.out, "video_shown"), "frames");
            dbench::figure(what + " process CPU", r.processCpu, "s");
        }
    }
    std::remove(clip.c_str());
    std::remove(out.c_str());
    rmdir(work);
    const int report = dbench::runAndReport(argc, argv);
    return failures ? 1 : report;
}
