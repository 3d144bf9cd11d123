// The README's Slurm recipe run for real: the job array on a single-node
// Slurm (scripts/slurm-local.sh), one task stopped halfway by scancel
// (SIGTERM), run again with --resume, and the merged models.csv must equal
// one unsharded run's. (The GNU parallel line rests on the same status and
// --resume, which egffit's program tests check.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "support/run.hpp"

namespace {

using namespace runsupport;

const fs::path kExamples = kSourceDir / "examples";

// 14100 models of the bundled example: a few seconds on two cores, and
// every shard flushes several batches of rows, so that a task can be
// stopped between its first rows and its last.
const std::string kConfig = "[[record]]\nparams = \"" + (kExamples / "params_wrong_start.txt").string() +
                            "\"\n[vary]\nnsx = { from = 1, to = 10 }\nnsw = { from = 1, to = 10 }\n"
                            "vr = { from = 2.0, to = 3.4, step = 0.01 }\n";

// Every wait below polls with a pause and gives up at a deadline, and every
// command runs under timeout(1): a program that hangs fails the test with a
// message instead of holding the suite. The whole file takes well under a
// minute on two cores; the deadlines are generous for a loaded machine.
constexpr int kCommandSeconds = 180;  // one command: a run, a merge, sbatch
constexpr int kFirstRowsSeconds = 90;  // a shard's first rows after its start
constexpr int kQueueSeconds = 180;     // a job array's last task to end
constexpr auto kQueuePoll = std::chrono::milliseconds(250);
// Short, so that a shard of a second or two is caught between two flushes.
constexpr auto kRowsPoll = std::chrono::milliseconds(10);

// Runs `command` with sh in `folder`, standard output and error kept.
Outcome shell(const fs::path& folder, const std::string& command, int seconds = kCommandSeconds) {
  writeFile(folder / "command.sh", command + "\n");
  const std::string cmd = "cd '" + folder.string() + "' && timeout -k 5 " + std::to_string(seconds) +
                          " sh command.sh > out.txt 2> err.txt";
  Outcome o{exitStatus(std::system(cmd.c_str())), readFile(folder / "out.txt"), readFile(folder / "err.txt")};
  if (o.status == 124 || o.status == 137)
    o.errors += "(" + command + ": stopped by timeout after " + std::to_string(seconds) + " s)\n";
  return o;
}

// The README's fenced shell block that begins with `start`, with the
// program's path in place of build/egffit.
std::string readmeRecipe(const std::string& start) {
  const std::string readme = readFile(kSourceDir / "README.md");
  const std::size_t at = readme.find("```sh\n" + start);
  if (at == std::string::npos) return "";
  const std::size_t from = at + 6;
  std::string block = readme.substr(from, readme.find("```", from) - from);
  const std::string name = "build/egffit";
  for (std::size_t p = 0; (p = block.find(name, p)) != std::string::npos; p += kFit.string().size())
    block.replace(p, name.size(), kFit.string());
  return block;
}

std::size_t rows(const fs::path& csv) { return rowCount(readFile(csv)); }

// The arguments of process `pid`, one per element; empty once it is gone.
std::vector<std::string> arguments(const fs::path& proc) {
  std::vector<std::string> args;
  std::istringstream in(readFile(proc / "cmdline"));
  for (std::string a; std::getline(in, a, '\0');) args.push_back(a);
  return args;
}

// The running egffit processes whose working folder lies in `folder`, with
// their working folder and arguments.
struct Process {
  pid_t pid;
  fs::path cwd;
  std::vector<std::string> args;
};

std::vector<Process> egffitsIn(const fs::path& folder) {
  std::vector<Process> found;
  std::error_code ec;
  const fs::path within = fs::weakly_canonical(folder, ec);
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::vector<std::string> args = arguments(e.path());
    if (args.empty() || args[0] != kFit.string()) continue;
    const fs::path cwd = fs::read_symlink(e.path() / "cwd", ec);  // a process may end meanwhile
    if (ec) continue;
    const std::string inside = fs::relative(cwd, within, ec).string();
    if (ec || inside.rfind("..", 0) == 0) continue;
    found.push_back({static_cast<pid_t>(std::stoi(name)), cwd, args});
  }
  return found;
}

// The egffit process writing into `out` (its --out argument), or 0.
pid_t egffitWriting(const fs::path& folder, const fs::path& out) {
  for (const Process& p : egffitsIn(folder)) {
    const auto at = std::find(p.args.begin(), p.args.end(), "--out");
    if (at != p.args.end() && at + 1 != p.args.end() &&
        fs::weakly_canonical(p.cwd / *(at + 1)) == fs::weakly_canonical(out))
      return p.pid;
  }
  return 0;
}

// Freezes (SIGSTOP) the shard writing into `out` once its first rows are
// flushed, so that the kill that follows finds it halfway whatever the
// machine's speed. Returns its pid, or 0 with `why` set.
pid_t freezeHalfway(const fs::path& folder, const fs::path& out, std::string& why) {
  pid_t pid = 0;
  bool ended = false;
  waitFor(
      [&] {
        if (rows(out / "models.csv") == 0) return false;
        pid = egffitWriting(folder, out);
        // Rows written and no process: the shard ended before it was caught.
        ended = pid == 0 && readFile(out / "shard.json").find("\"complete\": true") != std::string::npos;
        return pid != 0 || ended;
      },
      kFirstRowsSeconds, kRowsPoll);
  if (pid != 0) {
    kill(pid, SIGSTOP);
    return pid;
  }
  why = ended ? out.string() + " finished before it could be stopped halfway"
              : out.string() + " wrote no rows within " + std::to_string(kFirstRowsSeconds) + " s";
  return 0;
}

class Recipe : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kFit)) GTEST_SKIP() << "egffit not built";
    writeFile(dir() / "fit.toml", kConfig);
  }
  // Whatever failed, no egffit of this test outlives it (a frozen one
  // included).
  void TearDown() override {
    for (const Process& p : egffitsIn(dir())) {
      kill(p.pid, SIGKILL);
      kill(p.pid, SIGCONT);
    }
  }
  // The rows of one unsharded run, to compare the merge with.
  std::string unsharded() {
    const Outcome o = shell(dir(), "'" + kFit.string() + "' fit.toml --out one --threads 2");
    EXPECT_EQ(o.status, 0) << o.errors;
    return readFile(dir() / "one" / "models.csv");
  }
  void expectMergeEqualsOneRun(const std::string& mergeCommand) {
    const std::string one = unsharded();
    const Outcome m = shell(dir(), mergeCommand);
    ASSERT_EQ(m.status, 0) << m.errors;
    EXPECT_EQ(rows(dir() / "fit-out" / "models.csv"), 14100u);
    EXPECT_TRUE(readFile(dir() / "fit-out" / "models.csv") == one) << "the merged models.csv is not one run's";
    EXPECT_EQ(withoutTime(readFile(dir() / "fit-out" / "summary.txt")), withoutTime(readFile(dir() / "one" / "summary.txt")));
  }
  const fs::path& dir() const { return folder_.path(); }

  RunFolder folder_;
};

// A running local cluster, stopped at the end whatever happens; should this
// process die first, the script's watchdog stops it.
class LocalSlurm {
 public:
  explicit LocalSlurm(const fs::path& dir) : dir_(dir) {
    const std::string cmd = "SLURM_LOCAL_CPUS=8 SLURM_LOCAL_OWNER=" + std::to_string(getpid()) + " timeout -k 5 " +
                            std::to_string(kCommandSeconds) + " '" + script().string() + "' start '" + dir.string() +
                            "' > '" + dir.string() + ".out' 2> '" + dir.string() + ".err'";
    status_ = exitStatus(std::system(cmd.c_str()));
    errors_ = readFile(dir.string() + ".err");
    if (status_ == 0) setenv("SLURM_CONF", (dir / "slurm.conf").c_str(), 1);
  }
  ~LocalSlurm() {
    if (fs::exists(dir_ / "slurm.conf"))
      std::system(("timeout -k 5 60 '" + script().string() + "' stop '" + dir_.string() + "'").c_str());
    unsetenv("SLURM_CONF");
  }
  bool up() const { return status_ == 0; }
  // Why the cluster is not up: the script's reason (not root, a program
  // missing, a daemon that did not start and its log).
  std::string whyNot() const {
    return "no local Slurm (scripts/slurm-local.sh start: status " + std::to_string(status_) + "):\n" + errors_;
  }

 private:
  static fs::path script() { return kSourceDir / "scripts" / "slurm-local.sh"; }
  fs::path dir_;
  int status_ = -1;
  std::string errors_;
};

std::string jobId(const std::string& sbatchOutput) {
  const std::size_t at = sbatchOutput.find("Submitted batch job ");
  return at == std::string::npos ? "" : sbatchOutput.substr(at + 20, sbatchOutput.find('\n', at) - at - 20);
}

// Waits until job `id` has left the queue; false (with the queue in `why`) at the deadline.
bool jobEnds(const fs::path& folder, const std::string& id, std::string& why) {
  if (waitFor([&] { return shell(folder, "squeue --noheader --jobs " + id, 30).transcript.empty(); }, kQueueSeconds,
              kQueuePoll))
    return true;
  why = "job " + id + " still queued after " + std::to_string(kQueueSeconds) + " s:\n" + shell(folder, "squeue", 30).transcript;
  return false;
}

TEST_F(Recipe, SlurmArrayWithATaskCancelledHalfwayAndResumedMergesToOneRun) {
  const std::string job = readmeRecipe("#!/bin/bash");
  ASSERT_NE(job.find("--array=1-8"), std::string::npos) << "README's job array not found:\n" << job;
  ASSERT_NE(job.find("--resume"), std::string::npos) << job;
  LocalSlurm slurm(dir() / "cluster");
  if (!slurm.up()) GTEST_SKIP() << slurm.whyNot();
  writeFile(dir() / "job.sh", job);

  const Outcome submitted = shell(dir(), "sbatch job.sh");
  const std::string id = jobId(submitted.transcript);
  ASSERT_FALSE(id.empty()) << submitted.transcript << submitted.errors;
  std::string why;
  const pid_t frozen = freezeHalfway(dir(), dir() / "shards" / "3", why);
  ASSERT_NE(frozen, 0) << why;
  const Outcome cancelled = shell(dir(), "scancel " + id + "_3");
  ASSERT_EQ(cancelled.status, 0) << cancelled.errors;
  // Slurm wakes the task (SIGCONT) and sends SIGTERM; the task keeps its rows.
  ASSERT_TRUE(jobEnds(dir(), id, why)) << why;
  const std::string log = readFile(dir() / ("slurm-" + id + "_3.out"));
  EXPECT_NE(log.find("stopped by SIGTERM"), std::string::npos) << log;
  EXPECT_NE(log.find("--resume"), std::string::npos) << log;
  const std::size_t kept = rows(dir() / "shards" / "3" / "models.csv");
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, 1763u);  // shard 3 of 8 holds 1763 models
  EXPECT_NE(shell(dir(), "'" + kFit.string() + "' merge early shards/*").errors.find("shards/3: shard 3/8 did not finish"),
            std::string::npos);

  const Outcome again = shell(dir(), "sbatch --array=3 job.sh");
  const std::string second = jobId(again.transcript);
  ASSERT_FALSE(second.empty()) << again.transcript << again.errors;
  ASSERT_TRUE(jobEnds(dir(), second, why)) << why;
  expectMergeEqualsOneRun("'" + kFit.string() + "' merge fit-out shards/*");
}

}  // namespace
