// The README's two recipes for many processes, run for real: the Slurm job
// array on a single-node Slurm (scripts/slurm-local.sh) and the GNU parallel
// line. In each one task is stopped halfway by SIGTERM (scancel for Slurm),
// run again with --resume, and the merged models.csv must equal one
// unsharded run's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "support/run.hpp"

namespace {

using namespace runsupport;
using Clock = std::chrono::steady_clock;

const fs::path kFit = fs::path(EGF_TEST_BINARY_DIR) / "egffit";
const fs::path kExamples = kSourceDir / "examples";

// 14100 models of the bundled example: a few seconds on two cores, and
// every shard flushes several batches of rows, so that a task can be
// stopped between its first rows and its last.
const std::string kConfig = "[[record]]\nparams = \"" + (kExamples / "params_wrong_start.txt").string() +
                            "\"\n[vary]\nnsx = { from = 1, to = 10 }\nnsw = { from = 1, to = 10 }\n"
                            "vr = { from = 2.0, to = 3.4, step = 0.01 }\n";

Outcome shell(const fs::path& folder, const std::string& command) {
  const std::string cmd = "cd '" + folder.string() + "' && " + command + " > out.txt 2> err.txt";
  return {exitStatus(std::system(cmd.c_str())), readFile(folder / "out.txt"), readFile(folder / "err.txt")};
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

bool waitFor(const std::function<bool()>& done, int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::size_t rows(const fs::path& csv) {
  const std::string text = readFile(csv);
  const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  return lines > 0 ? lines - 1 : 0;
}

// The egffit process writing into `out` (its --out argument), or 0.
pid_t egffitWriting(const fs::path& out) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmdline = readFile(e.path() / "cmdline");
    std::replace(cmdline.begin(), cmdline.end(), '\0', '\n');
    if (cmdline.rfind(kFit.string() + "\n", 0) != 0) continue;
    const std::size_t at = cmdline.find("\n--out\n");
    if (at == std::string::npos) continue;
    const std::size_t from = at + 7;
    const fs::path given = cmdline.substr(from, cmdline.find('\n', from) - from);
    const fs::path cwd = fs::read_symlink(e.path() / "cwd");
    if (fs::weakly_canonical(cwd / given) == fs::weakly_canonical(out)) return std::stoi(name);
  }
  return 0;
}

// Freezes the shard writing into `out` once its first rows are flushed,
// so that the kill that follows finds it halfway whatever the machine's speed.
pid_t freezeHalfway(const fs::path& out) {
  pid_t pid = 0;
  if (!waitFor([&] { return rows(out / "models.csv") > 0 && (pid = egffitWriting(out)) != 0; }, 120)) return 0;
  kill(pid, SIGSTOP);
  return pid;
}

std::string withoutTime(const std::string& summary) { return summary.substr(0, summary.find("\ntime: ")); }

class Recipe : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kFit)) GTEST_SKIP() << "egffit not built";
    writeFile(dir() / "fit.toml", kConfig);
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

// A running local cluster, stopped at the end whatever happens.
class LocalSlurm {
 public:
  explicit LocalSlurm(const fs::path& dir) : dir_(dir) {
    const std::string cmd = "SLURM_LOCAL_CPUS=8 '" + (kSourceDir / "scripts" / "slurm-local.sh").string() +
                            "' start '" + dir.string() + "' > '" + dir.string() + ".out' 2> '" + dir.string() + ".err'";
    status_ = exitStatus(std::system(cmd.c_str()));
    errors_ = readFile(dir.string() + ".err");
    if (status_ == 0) setenv("SLURM_CONF", (dir / "slurm.conf").c_str(), 1);
  }
  ~LocalSlurm() {
    if (status_ == 0 || fs::exists(dir_ / "slurm.conf"))
      std::system(("'" + (kSourceDir / "scripts" / "slurm-local.sh").string() + "' stop '" + dir_.string() + "'").c_str());
  }
  int status() const { return status_; }
  const std::string& errors() const { return errors_; }

 private:
  fs::path dir_;
  int status_ = -1;
  std::string errors_;
};

std::string jobId(const std::string& sbatchOutput) {
  const std::size_t at = sbatchOutput.find("Submitted batch job ");
  return at == std::string::npos ? "" : sbatchOutput.substr(at + 20, sbatchOutput.find('\n', at) - at - 20);
}

TEST_F(Recipe, SlurmArrayWithATaskCancelledHalfwayAndResumedMergesToOneRun) {
  const std::string job = readmeRecipe("#!/bin/bash");
  ASSERT_NE(job.find("--array=1-8"), std::string::npos) << "README's job array not found:\n" << job;
  ASSERT_NE(job.find("--resume"), std::string::npos) << job;
  LocalSlurm slurm(dir() / "cluster");
  if (slurm.status() == 77) GTEST_SKIP() << slurm.errors();
  ASSERT_EQ(slurm.status(), 0) << slurm.errors();
  writeFile(dir() / "job.sh", job);

  const Outcome submitted = shell(dir(), "sbatch job.sh");
  const std::string id = jobId(submitted.transcript);
  ASSERT_FALSE(id.empty()) << submitted.transcript << submitted.errors;
  const pid_t frozen = freezeHalfway(dir() / "shards" / "3");
  ASSERT_NE(frozen, 0) << "task 3 wrote no rows within two minutes";
  ASSERT_EQ(shell(dir(), "scancel " + id + "_3").status, 0);
  // Slurm wakes the task (SIGCONT) and sends SIGTERM; the task keeps its rows.
  ASSERT_TRUE(waitFor([&] { return shell(dir(), "squeue --noheader --jobs " + id).transcript.empty(); }, 180))
      << shell(dir(), "squeue").transcript;
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
  ASSERT_TRUE(waitFor([&] { return shell(dir(), "squeue --noheader --jobs " + second).transcript.empty(); }, 180));
  expectMergeEqualsOneRun("'" + kFit.string() + "' merge fit-out shards/*");
}

TEST_F(Recipe, GnuParallelWithAShardKilledHalfwayAndRunAgainMergesToOneRun) {
  const std::string recipe = readmeRecipe("parallel ");
  const std::string line = recipe.substr(0, recipe.find('\n'));
  ASSERT_NE(line.find("--resume-failed"), std::string::npos) << "README's GNU parallel line not found:\n" << recipe;
  if (std::system("parallel --version > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "GNU parallel not found (Debian package parallel; scripts/install-deps.sh installs it)";

  const pid_t run = fork();
  if (run == 0) {
    if (chdir(dir().c_str()) != 0 || !freopen("/dev/null", "w", stdout) || !freopen("parallel.err", "w", stderr)) _exit(99);
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    _exit(98);
  }
  const pid_t frozen = freezeHalfway(dir() / "shards" / "2");
  ASSERT_NE(frozen, 0) << "shard 2 wrote no rows within two minutes";
  kill(frozen, SIGTERM);
  kill(frozen, SIGCONT);
  int raw = 0;
  waitpid(run, &raw, 0);
  EXPECT_EQ(exitStatus(raw), 1) << "parallel counts one failed job";
  const std::size_t kept = rows(dir() / "shards" / "2" / "models.csv");
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, 3525u);  // shard 2 of 4 holds 3525 models
  EXPECT_NE(readFile(dir() / "parallel.err").find("stopped by SIGTERM"), std::string::npos);

  const Outcome again = shell(dir(), line);
  ASSERT_EQ(again.status, 0) << again.errors;
  EXPECT_NE(again.transcript.find("shard 2/4"), std::string::npos) << again.transcript;
  EXPECT_EQ(again.transcript.find("shard 1/4"), std::string::npos) << "only the failed shard runs again";
  const std::string merge = recipe.substr(recipe.find('\n') + 1);
  expectMergeEqualsOneRun(merge.substr(0, merge.find('\n')));
}

}  // namespace
