// The tree that the directive tests share: an include root `conf` with
// links leading out of it, a sibling `conf2` whose name starts like the
// root's, and a secrets file above the root.
//
//     secrets.yaml                 above the root: never read
//     outside/passwd, outside/dir/x.yaml
//     conf2/x.yaml
//     conf/main.yaml               includes as the test needs
//     conf/a.yaml, conf/sub/b.yaml
//     conf/inner_link.yaml  -> a.yaml
//     conf/file_link.yaml   -> ../outside/passwd
//     conf/dir_link         -> ../outside/dir
//     conf/out              -> ../outside
//     conf/dangling.yaml    -> missing.yaml
#pragma once

#include "support/file_tree.h"

namespace quillmere::directives::testing {

inline void build_fixture(const quillmere::testing::FileTree& tree) {
    tree.write("secrets.yaml", "above: from above the root\n");
    tree.write("outside/passwd", "root: x\n");
    tree.write("outside/dir/x.yaml", "x: outside\n");
    tree.write("conf2/x.yaml", "x: sibling\n");
    tree.write("conf/main.yaml", "{}\n");
    tree.write("conf/a.yaml", "a: 1\n");
    tree.write("conf/sub/b.yaml", "b: 2\n");
    tree.link("conf/inner_link.yaml", "a.yaml");
    tree.link("conf/file_link.yaml", "../outside/passwd");
    tree.link("conf/dir_link", "../outside/dir");
    tree.link("conf/out", "../outside");
    tree.link("conf/dangling.yaml", "missing.yaml");
}

}  // namespace quillmere::directives::testing
