// The target as the duplicate check lists it, against the files the writer reports.
#include "app/target_contents.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/test_console.h"
#include "tests/writer/target_test_util.h"
#include "writer/rep_target.h"

namespace repcopy {
namespace {

storage_item group_item(std::u16string domain, std::u16string computer, std::u16string ds,
                        uint32_t time) {
  storage_item item;
  item.platform_id = 500;
  item.domain_name = std::move(domain);
  item.computer_name = std::move(computer);
  item.ds_name = std::move(ds);
  full_event e;
  e.event_time = e.stored_time = time;
  item.events.push_back(e);
  item.batch_count = 1;
  return item;
}

// The check knows the files this run writes by the path the writer reports and never reads them
// for duplicates; so the listing must give a written file under that very path, for names in and
// out of ASCII and a root with or without its closing separator.
TEST(TargetContents, AWrittenFileIsListedUnderThePathTheWriterReported) {
  for (const bool closing_separator : {false, true}) {
    SCOPED_TRACE(closing_separator);
    testutil::temp_dir dir;
    const std::u16string root =
        dir.u16() + (closing_separator ? std::u16string(1, platform::kSeparator) : u"");
    copy_outcome outcome;
    RepTarget target(test_console(), root, {}, testutil::fake_factory(), &outcome);
    std::set<std::string> reported;
    target.set_file_hook([&](const storage_item&, const std::string& path) {
      reported.insert(path);
    });
    rep_target_contents contents(test_console(), root);
    const storage_item groups[] = {
        group_item(u"CORP", u"SRV01", u"Security", 1000),
        group_item(u"Z\u00FCrich", u"\u65E5\u672C-01", u"Anwendung \u00C4", 2000),
    };
    for (const storage_item& group : groups) {
      reported.clear();
      storage_item twice = group_item(group.domain_name, group.computer_name, group.ds_name,
                                      group.events[0].event_time + 60);
      ASSERT_EQ(target.flush_items(group_item(group.domain_name, group.computer_name,
                                              group.ds_name, group.events[0].event_time)),
                0);
      ASSERT_EQ(target.flush_items(std::move(twice)), 0);
      std::vector<target_file> listed;
      contents.list_files(group, listed);
      std::set<std::string> paths;
      for (const target_file& f : listed) paths.insert(f.path);
      EXPECT_EQ(reported.size(), 2u);
      EXPECT_EQ(paths, reported);
    }
  }
}

}  // namespace
}  // namespace repcopy
