// The load's context: sources in order, and errors as a user sees them.
#include <gtest/gtest.h>

#include "directives/context.h"

namespace quillmere::directives {
namespace {

TEST(IncludeContext, SourcesInOrder) {
    IncludeContext context = new_include_context("/srv/app", true, false, true);
    EXPECT_EQ(context.root, "/srv/app");
    EXPECT_TRUE(context.includes);
    EXPECT_FALSE(context.secrets);
    EXPECT_TRUE(context.env_vars);
    EXPECT_FALSE(context.include_dir_recursive);
    EXPECT_FALSE(context.collect_missing_secrets);
    EXPECT_FALSE(context.collect_missing_env_vars);

    EXPECT_EQ(register_source(context, "/srv/app/<root>", std::string("a: 1\n")), 0u);
    EXPECT_EQ(register_source(context, "/srv/app/x.yaml", std::nullopt), 1u);
    EXPECT_EQ(register_source(context, "/srv/app/x.yaml", std::string("x\n")), 2u);
    EXPECT_EQ(path_for(context, 1), "/srv/app/x.yaml");
    EXPECT_EQ(path_for(context, 3), "/srv/app");

    const SourceTable table = into_source_table(std::move(context));
    EXPECT_EQ(table.file_paths, (std::vector<std::string>{"/srv/app/<root>", "/srv/app/x.yaml", "/srv/app/x.yaml"}));
    ASSERT_EQ(table.file_texts.size(), 3u);
    EXPECT_EQ(table.file_texts[0], "a: 1\n");
    EXPECT_EQ(table.file_texts[1], std::nullopt);
}

TEST(DirectiveError, ShownWithItsChain) {
    DirectiveError error{std::nullopt, "cannot read included file 'c.yaml': not found", "/srv/b.yaml",
                         IncludeChain{{"/srv/a.yaml", 0}, {"/srv/caf\xe9/b.yaml", 6}},
                         DirectiveErrorKind::IncludeNotFound};
    EXPECT_EQ(describe_directive_error(error),
              "cannot read included file 'c.yaml': not found in /srv/b.yaml\n"
              "  included from /srv/a.yaml, line 1\n"
              "  included from /srv/caf\xEF\xBF\xBD/b.yaml, line 7");
    error.chain.clear();
    error.path = "/srv/\xff.yaml";
    EXPECT_EQ(describe_directive_error(error),
              "cannot read included file 'c.yaml': not found in /srv/\xEF\xBF\xBD.yaml");
}

}  // namespace
}  // namespace quillmere::directives
