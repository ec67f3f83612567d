// Subtraction of two overlapping spheres, two ways:
// - in one process, our exact builder and CGAL's corefinement on UV spheres
//   of about 20k, 80k and 320k triangles each;
// - as a user runs it, the whole `morvel-cli boolean subtract A B OUT`
//   process (reading both STL files, welding, the Boolean, writing) against
//   CGAL's Boolean call alone, on icosphere and UV sphere pairs of about
//   80k, 320k and 1.3M triangles each: equal and unequal levels, offsets
//   that make near-coplanar and near-tangent triangle pairs common.
// Prints times (min and median of repeated runs), the process's peak
// memory, result triangle counts, their ratios, and whether the targets are
// met: the whole process faster than CGAL's call, under 800 MB at 1.3M +
// 1.3M, and at most 1 % more triangles than CGAL's result.
#include "geometry/Boolean.h"

#include "MeshFixtures.h"
#include "support/BenchMeshes.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef MORVEL_WITH_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Surface_mesh.h>
#endif

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

#ifdef MORVEL_WITH_CGAL
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;

SurfaceMesh toSurfaceMesh(const benchmesh::FlatMesh& m) {
    SurfaceMesh mesh;
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (std::size_t v = 0; v < m.positions.size() / 3; ++v)
        vertices.push_back(mesh.add_vertex(Kernel::Point_3(m.positions[3 * v], m.positions[3 * v + 1], m.positions[3 * v + 2])));
    for (std::size_t t = 0; t < m.triangleCount(); ++t)
        mesh.add_face(vertices[m.indices[3 * t]], vertices[m.indices[3 * t + 1]], vertices[m.indices[3 * t + 2]]);
    return mesh;
}

SurfaceMesh toSurfaceMesh(const Kiln::MeshArrays& m) {
    SurfaceMesh mesh;
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (std::size_t v = 0; v < m.vertexCount(); ++v)
        vertices.push_back(mesh.add_vertex(Kernel::Point_3(m.positions[3 * v], m.positions[3 * v + 1], m.positions[3 * v + 2])));
    for (std::size_t t = 0; t < m.triangleCount(); ++t)
        mesh.add_face(vertices[m.indices[3 * t]], vertices[m.indices[3 * t + 1]], vertices[m.indices[3 * t + 2]]);
    return mesh;
}

double volume(const SurfaceMesh& mesh) {
    double v = 0.0;
    for (const auto f : mesh.faces()) {
        Kernel::Point_3 p[3];
        int k = 0;
        for (const auto vertex : CGAL::vertices_around_face(mesh.halfedge(f), mesh))
            p[k++] = mesh.point(vertex);
        v += CGAL::to_double(CGAL::determinant(p[0] - CGAL::ORIGIN, p[1] - CGAL::ORIGIN, p[2] - CGAL::ORIGIN));
    }
    return v / 6.0;
}
#endif


struct Pair {
    const char* name;
    benchmesh::FlatMesh a, b;
};

// The pairs of one size class: about `level`'s icosphere triangle count.
std::vector<Pair> pairsOfLevel(int level) {
    using namespace benchmesh;
    // A UV sphere with about as many triangles as the icosphere of `level`.
    const int segments = int(std::lround(std::sqrt(20.0 * std::pow(4.0, level) / 2.0)));
    std::vector<Pair> pairs;
    pairs.push_back({"ico = ico, offset (0.3, 0.2, 0.1)", icosphere(level, 0, 0, 0, 1), icosphere(level, 0.3, 0.2, 0.1, 1)});
    pairs.push_back({"ico - ico one level coarser", icosphere(level, 0, 0, 0, 1), icosphere(level - 1, 0.45, -0.3, 0.2, 0.9)});
    pairs.push_back({"uv - ico, offset (0.2, 0.1, 0.3)", uvSphere(segments, segments, 0, 0, 0, 1),
                     icosphere(level, 0.2, 0.1, 0.3, 1)});
    // Nearly the same surface twice: almost every triangle meets a nearly
    // coplanar one of the other operand.
    pairs.push_back({"ico = ico, near-coplanar (1e-4 shift)", icosphere(level, 0, 0, 0, 1),
                     icosphere(level, 1e-4, 0.5e-4, 0, 1)});
    // Two spheres that barely overlap: thin cuts between nearly tangent
    // triangles.
    pairs.push_back({"uv = uv, near-tangent (gap -1e-4)", uvSphere(segments, segments, 0, 0, 0, 1),
                     uvSphere(segments, segments, 1.9999, 0, 0, 1)});
    for (Pair& pair : pairs) {
        roundToFloats(pair.a);
        roundToFloats(pair.b);
    }
    return pairs;
}

struct ProcessRun {
    double milliseconds = NAN;
    double cpuMilliseconds = NAN; ///< user + system, all threads: steadier than wall time under load
    double peakMegabytes = NAN;
    bool ok = false;
};

// Runs `morvel-cli boolean subtract a b out` as a child process, on one
// core when `singleCore`, timing it whole and taking its peak resident set.
// Called in the spawner only (see Spawner).
ProcessRun runCli(const std::string& a, const std::string& b, const std::string& out, bool singleCore) {
    ProcessRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (singleCore) {
            cpu_set_t set;
            CPU_ZERO(&set);
            sched_getaffinity(0, sizeof set, &set);
            for (int cpu = 0, first = 1; cpu < CPU_SETSIZE; ++cpu)
                if (CPU_ISSET(cpu, &set)) {
                    if (!first)
                        CPU_CLR(cpu, &set);
                    first = 0;
                }
            sched_setaffinity(0, sizeof set, &set);
        }
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(MORVEL_CLI_PATH, "morvel-cli", "boolean", "subtract", a.c_str(), b.c_str(), out.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) < 0)
        return run;
    run.milliseconds = millisecondsSince(start);
    run.cpuMilliseconds = 1000.0 * (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                          (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    run.peakMegabytes = usage.ru_maxrss / 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The operand files every process run reads and the result it writes.
struct RunFiles {
    std::string a, b, out;
};

RunFiles runFiles() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path();
    return {(dir / "morvel-bench-a.stl").string(), (dir / "morvel-bench-b.stl").string(),
            (dir / "morvel-bench-out.stl").string()};
}

// A small process, forked before the bench makes any mesh, that starts
// every timed run. A child's peak resident set counts the pages it shares
// with its parent at the fork, even across exec, so runs forked from the
// bench itself would be charged with the bench's meshes.
class Spawner {
public:
    Spawner() {
        int requests[2], answers[2];
        if (pipe(requests) != 0 || pipe(answers) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            close(requests[1]);
            close(answers[0]);
            serve(requests[0], answers[1]);
            _exit(0);
        }
        close(requests[0]);
        close(answers[1]);
        toSpawner = requests[1];
        fromSpawner = answers[0];
    }
    ~Spawner() {
        if (pid > 0) {
            close(toSpawner);
            close(fromSpawner);
            waitpid(pid, nullptr, 0);
        }
    }
    Spawner(const Spawner&) = delete;
    Spawner& operator=(const Spawner&) = delete;

    ProcessRun run(bool singleCore) const {
        ProcessRun result;
        const char request = singleCore ? '1' : '2';
        if (pid <= 0 || write(toSpawner, &request, 1) != 1 ||
            read(fromSpawner, &result, sizeof result) != static_cast<ssize_t>(sizeof result))
            return ProcessRun{};
        return result;
    }

private:
    static void serve(int requests, int answers) {
        const RunFiles files = runFiles();
        char request = 0;
        while (read(requests, &request, 1) == 1) {
            const ProcessRun result = runCli(files.a, files.b, files.out, request == '1');
            if (write(answers, &result, sizeof result) != static_cast<ssize_t>(sizeof result))
                return;
        }
    }

    pid_t pid = -1;
    int toSpawner = -1, fromSpawner = -1;
};

std::size_t stlTriangleCount(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    unsigned char header[84] = {};
    const bool read = file && std::fread(header, 1, sizeof header, file) == sizeof header;
    if (file)
        std::fclose(file);
    return read ? std::size_t(header[80]) | std::size_t(header[81]) << 8 | std::size_t(header[82]) << 16 |
                      std::size_t(header[83]) << 24
                : 0;
}

struct Figures {
    double min = NAN, median = NAN;
};

Figures figuresOf(std::vector<double> values) {
    Figures f;
    if (values.empty())
        return f;
    std::sort(values.begin(), values.end());
    f.min = values.front();
    f.median = values[values.size() / 2];
    return f;
}

struct Verdicts {
    int slower = 0, slowerCpu = 0, larger = 0, heavier = 0, failed = 0, rows = 0;
};

void runProcessPair(const Spawner& spawner, const Pair& pair, int runs, bool bothThreadCounts, bool bigSize,
                    Verdicts& verdicts) {
    namespace fs = std::filesystem;
    const RunFiles files = runFiles();
    const std::string &pathA = files.a, &pathB = files.b, &pathOut = files.out;
    if (!benchmesh::writeBinaryStl(pair.a, pathA) || !benchmesh::writeBinaryStl(pair.b, pathB)) {
        std::printf("  cannot write the operands to %s\n", fs::temp_directory_path().c_str());
        return;
    }
    double cgalMin = NAN, cgalMedian = NAN, cgalCpuMin = NAN;
    std::size_t cgalTriangles = 0;
    // The runs of both sides take turns, so that a change in the shared
    // machine's load weighs on both alike.
    struct OurRuns {
        std::vector<double> times, cpuTimes;
        double peak = 0;
        bool ok = true;
    } ourRuns[2];
    std::vector<double> cgalTimes, cgalCpuTimes;
    for (int r = 0; r < runs; ++r) {
#ifdef MORVEL_WITH_CGAL
        SurfaceMesh ma = toSurfaceMesh(pair.a), mb = toSurfaceMesh(pair.b), out;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        const bool cgalOk = CGAL::Polygon_mesh_processing::corefine_and_compute_difference(ma, mb, out);
        cgalTimes.push_back(millisecondsSince(start));
        cgalCpuTimes.push_back(1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        cgalTriangles = cgalOk ? out.number_of_faces() : 0;
#endif
        for (const bool single : {false, true}) {
            if (single && !bothThreadCounts)
                continue;
            OurRuns& runsOf = ourRuns[single ? 1 : 0];
            const ProcessRun run = spawner.run(single);
            runsOf.ok &= run.ok;
            runsOf.times.push_back(run.milliseconds);
            runsOf.cpuTimes.push_back(run.cpuMilliseconds);
            runsOf.peak = std::max(runsOf.peak, run.peakMegabytes);
        }
    }
#ifdef MORVEL_WITH_CGAL
    const Figures cgal = figuresOf(cgalTimes);
    cgalMin = cgal.min;
    cgalMedian = cgal.median;
    cgalCpuMin = figuresOf(cgalCpuTimes).min;
#endif
    for (const bool single : {false, true}) {
        if (single && !bothThreadCounts)
            continue;
        const OurRuns& runsOf = ourRuns[single ? 1 : 0];
        const std::vector<double>& times = runsOf.times;
        const std::vector<double>& cpuTimes = runsOf.cpuTimes;
        const double peak = runsOf.peak;
        const bool ok = runsOf.ok;
        const Figures ours = figuresOf(times);
        const Figures ourCpu = figuresOf(cpuTimes);
        const std::size_t ourTriangles = ok ? stlTriangleCount(pathOut) : 0;
        const double timeRatio = ours.min / cgalMin;
        const double cpuRatio = ourCpu.min / cgalCpuMin;
        const double sizeRatio = cgalTriangles ? double(ourTriangles) / double(cgalTriangles) : NAN;
        std::printf("  %-40s %9zu %2d %8.0f %8.0f %8.0f %7.0f %8.0f %8.0f %8.0f %6.2f %6.2f %9zu %9zu %6.3f%s\n",
                    pair.name, pair.a.triangleCount(), single ? 1 : 2, ours.min, ours.median, ourCpu.min, peak,
                    cgalMin, cgalMedian, cgalCpuMin, timeRatio, cpuRatio, ourTriangles, cgalTriangles, sizeRatio,
                    ok ? "" : "  FAILED");
        std::fflush(stdout);
        if (single)
            continue;  // the targets are for the machine's cores
        ++verdicts.rows;
        verdicts.failed += !ok;
        verdicts.slower += !(timeRatio < 1.0);
        verdicts.slowerCpu += !(cpuRatio < 1.0);
        verdicts.larger += !(sizeRatio <= 1.01);
        verdicts.heavier += bigSize && !(peak < 800.0);
    }
    fs::remove(pathA);
    fs::remove(pathB);
    fs::remove(pathOut);
}

// The whole-process table; `levels` are icosphere levels (6: 81,920
// triangles, 7: 327,680, 8: 1,310,720).
void runProcessTable(const Spawner& spawner, const std::vector<int>& levels, int runs) {
    std::printf("\nwhole `morvel-cli boolean subtract A B OUT` process against CGAL's Boolean call alone\n");
    std::printf("(times in ms, min and median of %d runs at 80k, %d at 320k, 1 at 1.3M, both sides taking turns;\n"
                " cpu = user + system time of all threads, min; peak in MB; th = cores the process may use;\n"
                " ratio = ours min / cgal min (wall), cpu r = the same for cpu times, steadier on a loaded\n"
                " machine; size = our triangles / cgal's; load %s)\n", runs + 2, runs,
                [] {
                    static char text[64] = "?";
                    double load[3];
                    if (getloadavg(load, 3) == 3)
                        std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
                    return text;
                }());
    std::printf("  %-40s %9s %2s %8s %8s %8s %7s %8s %8s %8s %6s %6s %9s %9s %6s\n", "pair", "tris A", "th",
                "ours min", "ours med", "ours cpu", "peak", "cgal min", "cgal med", "cgal cpu", "ratio", "cpu r",
                "our tris", "cgal tris", "size");
    Verdicts verdicts;
    for (const int level : levels) {
        const bool big = level >= 8;
        const std::vector<Pair> pairs = pairsOfLevel(level);
        for (std::size_t p = 0; p < pairs.size(); ++p) {
            // The smallest pairs take a tenth of a second: more runs there
            // steady the minimum against the shared machine's noise.
            runProcessPair(spawner, pairs[p], big ? 1 : level <= 6 ? runs + 2 : runs, p == 0, big, verdicts);
        }
    }
    std::printf("\ntargets over %d pairs (2 threads):\n", verdicts.rows);
    std::printf("  whole process faster than CGAL's call: %s (%d slower in wall time, %d in cpu time)\n",
                verdicts.slower ? "MISSED" : "met", verdicts.slower, verdicts.slowerCpu);
    std::printf("  peak memory under 800 MB at 1.3M + 1.3M: %s (%d over)\n", verdicts.heavier ? "MISSED" : "met",
                verdicts.heavier);
    std::printf("  at most 1 %% more triangles than CGAL: %s (%d larger)\n", verdicts.larger ? "MISSED" : "met",
                verdicts.larger);
    if (verdicts.failed)
        std::printf("  %d pair(s) FAILED to run\n", verdicts.failed);
}

void printStages(const Kiln::BooleanReport& report) {
    std::printf("           our stages ms: prepare %.1f, partition %.1f, trees %.1f, clip %.1f, output %.1f\n",
                report.stageMilliseconds[0], report.stageMilliseconds[1], report.stageMilliseconds[2],
                report.stageMilliseconds[3], report.stageMilliseconds[4]);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    // --quick runs only the smallest size (for a fast check of the build);
    // --ours N runs only our builder on the size with N segments (100, 200
    // or 400), for profilers that count instructions; --process runs only
    // the whole-process table, on the icosphere levels that follow it if any
    // (6: 81,920 triangles, 7: 327,680, 8: 1,310,720).
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const bool oursOnly = argc > 2 && std::strcmp(argv[1], "--ours") == 0;
    const bool processOnly = argc > 1 && std::strcmp(argv[1], "--process") == 0;
    const Spawner spawner; // before any mesh is made
    if (processOnly) {
        std::vector<int> levels;
        for (int i = 2; i < argc; ++i)
            levels.push_back(std::atoi(argv[i]));
        runProcessTable(spawner, levels.empty() ? std::vector<int>{6, 7, 8} : levels, 3);
        return 0;
    }
    std::vector<int> resolutions = {100, 200, 400};
    if (oursOnly)
        resolutions = {std::atoi(argv[2])};
    std::printf("%-10s %12s %12s %8s %12s %14s %14s\n", "triangles", "ours ms", "cgal ms", "ratio", "result tris",
                "our volume", "cgal volume");
    for (const int n : resolutions) {
        const Kiln::MeshArrays a = fixtures::sphere(0, 0, 0, 1.0, n, n);
        const Kiln::MeshArrays b = fixtures::sphere(0.5, 0.3, 0.2, 1.0, n, n);

        Kiln::BooleanReport report;
        auto start = std::chrono::steady_clock::now();
        std::clock_t cpuStart = std::clock();
        const Kiln::MeshArrays ours = Kiln::computeBoolean(a, b, Kiln::BooleanOperation::Difference, &report);
        const double ourMs = millisecondsSince(start);
        const double ourCpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

        double cgalMs = NAN, cgalCpuMs = NAN, cgalVolume = NAN;
#ifdef MORVEL_WITH_CGAL
        if (oursOnly) {
            std::printf("%-10zu %12.1f %12s %8s %12zu %14.9f\n", a.triangleCount(), ourMs, "-", "-",
                        ours.triangleCount(), Kiln::signedVolume(ours));
            printStages(report);
            continue;
        }
        SurfaceMesh ma = toSurfaceMesh(a), mb = toSurfaceMesh(b), out;
        start = std::chrono::steady_clock::now();
        cpuStart = std::clock();
        const bool ok = CGAL::Polygon_mesh_processing::corefine_and_compute_difference(ma, mb, out);
        cgalMs = millisecondsSince(start);
        cgalCpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        if (ok)
            cgalVolume = volume(out);
#endif
        std::printf("%-10zu %12.1f %12.1f %8.2f %12zu %14.9f %14.9f\n", a.triangleCount(), ourMs, cgalMs,
                    ourMs / cgalMs, ours.triangleCount(), Kiln::signedVolume(ours), cgalVolume);
        std::printf("           cpu ms (all threads): ours %.1f, cgal %.1f, ratio %.2f\n", ourCpuMs, cgalCpuMs,
                    ourCpuMs / cgalCpuMs);
        printStages(report);
        if (quick)
            break;
    }
    if (!oursOnly)
        runProcessTable(spawner, quick ? std::vector<int>{6} : std::vector<int>{6, 7, 8}, 3);
    return 0;
}
