// Path text: normal forms, joins and comparisons by component.
#include <gtest/gtest.h>

#include "directives/paths.h"

namespace quillmere::directives {
namespace {

TEST(Paths, LexicalNormalForm) {
    const struct {
        const char* path;
        const char* normal;
    } cases[] = {
        {"a/b/c", "a/b/c"},     {"a//./b/", "a/b"},    {"a/b/../c", "a/c"},     {"../x", "x"},
        {"/../x", "/x"},        {"a/../../b", "b"},    {"/", "/"},              {"./", ""},
        {"", ""},               {"/srv//app/./x", "/srv/app/x"},               {"nope/../out/passwd", "out/passwd"},
    };
    for (const auto& c : cases) EXPECT_EQ(normalize_path_lexically(c.path), c.normal) << c.path;
}

TEST(Paths, JoinParentAndName) {
    EXPECT_EQ(join_path("/srv/app", "x.yaml"), "/srv/app/x.yaml");
    EXPECT_EQ(join_path("/", "x.yaml"), "/x.yaml");
    EXPECT_EQ(join_path(".", "x.yaml"), "./x.yaml");
    EXPECT_EQ(join_path("", "x.yaml"), "x.yaml");
    EXPECT_EQ(join_path("/srv/app", "/etc/passwd"), "/etc/passwd");

    EXPECT_EQ(parent_path("/srv/app/main.yaml"), "/srv/app");
    EXPECT_EQ(parent_path("./<root>"), ".");
    EXPECT_EQ(parent_path("/main.yaml"), "/");
    EXPECT_EQ(parent_path("main.yaml"), "");
    EXPECT_EQ(parent_path("a/b/"), "a");
    EXPECT_EQ(parent_path("/"), std::nullopt);
    EXPECT_EQ(parent_path(""), std::nullopt);

    EXPECT_EQ(file_name("/srv/a.yaml"), "a.yaml");
    EXPECT_EQ(file_name("a.yaml"), "a.yaml");
    EXPECT_EQ(file_name("/"), "");
}

TEST(Paths, ComparedByComponent) {
    EXPECT_TRUE(path_starts_with("/srv/conf/a.yaml", "/srv/conf"));
    EXPECT_TRUE(path_starts_with("/srv/conf", "/srv/conf/"));
    EXPECT_TRUE(path_starts_with("/srv//conf/./a", "/srv/conf"));
    EXPECT_FALSE(path_starts_with("/srv/conf2/a.yaml", "/srv/conf"));
    EXPECT_FALSE(path_starts_with("/srv", "/srv/conf"));
    EXPECT_FALSE(path_starts_with("srv/conf", "/srv"));
    EXPECT_TRUE(path_starts_with("/anything", "/"));

    EXPECT_TRUE(same_path("/srv/conf/", "/srv//conf"));
    EXPECT_FALSE(same_path("/srv/conf/a", "/srv/conf"));
    EXPECT_FALSE(same_path("/srv/conf", "/srv/conf/a"));

    EXPECT_EQ(path_below("/srv/conf/a/b.yaml", "/srv/conf"), "a/b.yaml");
    EXPECT_EQ(path_below("/srv/conf", "/srv/conf/"), ".");
    EXPECT_EQ(path_below("/srv/conf2/x", "/srv/conf"), std::nullopt);
}

}  // namespace
}  // namespace quillmere::directives
