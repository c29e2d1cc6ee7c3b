// The program's console as the message sink: where each kind of line goes, what -q drops, what
// the log records, how lines and the progress line share the terminal, and that lines written
// from several threads stay whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/progress.h"
#include "tests/temp_tree.h"
#include "util/message_sink.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;

// The log's lines without their time stamps: "kind text".
std::vector<std::string> logged(const fs::path& path) {
  static const std::regex stamp(
      "^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z ");
  std::vector<std::string> lines;
  std::istringstream in(testutil::read_text(path));
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    lines.push_back(std::regex_replace(line, stamp, ""));
  }
  return lines;
}

struct kind_case {
  message_kind kind;
  message_stream stream;
  std::string lines;  // bytes as written, whole lines
  bool kept_with_q;
  std::vector<std::string> log;
};

// Each kind goes to the stream its call names with its bytes untouched; -q drops notices only;
// the log gets every line, dropped or not, with its declared kind.
TEST(ConsoleOutput, EachKindToItsStreamQuietDropsNoticesOnlyLogKeepsEveryLine) {
  const kind_case cases[] = {
      {message_kind::summary,
       message_stream::out,
       "Dry run: 1 file(s)\n",
       true,
       {"summary Dry run: 1 file(s)"}},
      {message_kind::notice,
       message_stream::out,
       "Datasource name not found: X\nWindows datasource type will be used\n",
       false,
       {"notice Datasource name not found: X", "notice Windows datasource type will be used"}},
      {message_kind::notice,
       message_stream::err,
       "Waiting for another copy\n",
       false,
       {"notice Waiting for another copy"}},
      {message_kind::warning,
       message_stream::err,
       "Damaged source file a.rep: 0 event(s)\n",
       true,
       {"warning Damaged source file a.rep: 0 event(s)"}},
      {message_kind::error,
       message_stream::err,
       "Copy incomplete: 1\n",
       true,
       {"error Copy incomplete: 1"}},
      {message_kind::error,
       message_stream::out,
       "error: >target root< empty\n\t tab \n",
       true,
       {"error error: >target root< empty", "error \t tab "}},
      {message_kind::notice, message_stream::out, "\n", false, {"notice "}},
  };
  const testutil::temp_dir dir;
  for (const bool quiet : {false, true}) {
    for (const kind_case& c : cases) {
      const fs::path log = dir.path / "run.log";
      fs::remove(log);
      std::ostringstream out, err;
      {
        console_output console(out, err, quiet);
        std::string reason;
        ASSERT_TRUE(console.open_log(log.string(), reason)) << reason;
        console.write(c.kind, c.stream, c.lines);
      }
      const bool shown = !quiet || c.kept_with_q;
      const std::string expected = shown ? c.lines : "";
      EXPECT_EQ(out.str(), c.stream == message_stream::out ? expected : "") << c.lines;
      EXPECT_EQ(err.str(), c.stream == message_stream::err ? expected : "") << c.lines;
      EXPECT_EQ(logged(log), c.log) << c.lines;
    }
  }
}

// A line never lands on the progress line: the console takes the progress line away first and
// draws it again after the line, on standard error (the terminal).
TEST(ConsoleOutput, ProgressLineClearedBeforeEachLineAndDrawnAgainAfter) {
  std::ostringstream out, err;
  console_output console(out, err);
  console.out(message_kind::notice) << "before any progress";
  EXPECT_EQ(err.str(), "");  // nothing to clear yet
  console.draw_progress("5% events");
  console.err(message_kind::warning) << "Damaged source file x";
  console.out(message_kind::notice) << "notice";
  console.draw_progress("6% events");
  console.clear_progress();
  console.err(message_kind::error) << "Copy incomplete";
  EXPECT_EQ(out.str(), "before any progress\nnotice\n");
  EXPECT_EQ(err.str(),
            "\r\033[K5% events"        // drawn
            "\r\033[K"                 // cleared before the warning
            "Damaged source file x\n"  // the line on a clean row
            "\r\033[K5% events"        // drawn again
            "\r\033[K"                 // cleared before the notice (on standard output)
            "\r\033[K5% events"        // drawn again
            "\r\033[K6% events"        // the next update
            "\r\033[K"                 // stopped
            "Copy incomplete\n");      // no progress to clear or draw again
}

// Lines written from several threads at once come out whole, each once, in each thread's order.
TEST(ConsoleOutput, LinesFromSeveralThreadsNeverInterleave) {
  constexpr int kThreads = 4, kLines = 500;
  std::ostringstream out, err;
  console_output console(out, err);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&console, t] {
      for (int i = 0; i < kLines; ++i) {
        const std::string body(40 + t * 7, char('a' + t));
        // One line built in several pieces, and one call carrying two lines.
        console.out(message_kind::notice) << "thread " << t << " line " << i << " " << body;
        console.write(message_kind::warning, message_stream::err,
                      "t" + std::to_string(t) + " first\nt" + std::to_string(t) + " second\n");
        if (i % 50 == 0) console.draw_progress("progress " + std::to_string(t));
      }
    });
  }
  for (std::thread& th : threads) th.join();
  std::vector<int> next(kThreads, 0);
  std::istringstream lines(out.str());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(i, next[size_t(t)]++) << line;
    EXPECT_EQ(line, "thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                        std::string(40 + t * 7, char('a' + t)));
  }
  EXPECT_EQ(count, kThreads * kLines);
  // Standard error: the two lines of each call stay together; progress pieces only between
  // lines, never inside one.
  std::string rest = err.str();
  int pairs = 0;
  const std::regex piece("^(\r\033\\[K(progress [0-9])?)*t([0-9]) first\nt\\3 second\n");
  for (std::smatch m; std::regex_search(rest, m, piece); ++pairs) rest = m.suffix();
  EXPECT_EQ(pairs, kThreads * kLines);
  EXPECT_EQ(std::regex_replace(rest, std::regex("\r\033\\[K(progress [0-9])?"), ""), "");
}

// A file read ahead on another thread holds its lines with their kinds and positions; replayed,
// they reach the real sink unchanged and in order.
TEST(BufferingSink, HoldsLinesWithKindAndPositionUntilReplayed) {
  buffering_sink held;
  held.out(message_kind::notice) << "Wrong signature!";
  held.set_position(3);
  held.err(message_kind::warning) << "Damaged source file f";
  held.write(message_kind::notice, message_stream::out, "hex\ndump\n");
  std::vector<held_message> taken;
  held.take(taken);
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[0].position, 0u);
  EXPECT_EQ(taken[1].position, 3u);
  EXPECT_EQ(taken[1].kind, message_kind::warning);
  EXPECT_EQ(taken[1].stream, message_stream::err);
  std::ostringstream out, err;
  console_output console(out, err, true);  // -q: the notices drop at the console, not before
  for (const held_message& m : taken) replay(m, console);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "Damaged source file f\n");
  std::vector<held_message> none;
  held.take(none);
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace repcopy
