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
//     conf/secrets.yaml            name, only_root
//     conf/sub/secrets.yaml        name (the nearer file for sub/)
//     conf/sub/app.yaml            two secrets
//     conf/links/ok.yaml, conf/links/out.yaml -> ../../outside/passwd
//     conf/links2/ok.yaml, conf/links2/outdir -> ../../outside/dir
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
    tree.write("conf/secrets.yaml", "name: conf-level\nonly_root: root-level\n");
    tree.write("conf/sub/secrets.yaml", "name: sub-level\n");
    tree.write("conf/sub/app.yaml", "a: !secret name\nb: !secret only_root\n");
    tree.write("conf/links/ok.yaml", "ok\n");
    tree.link("conf/links/out.yaml", "../../outside/passwd");
    tree.write("conf/links2/ok.yaml", "ok\n");
    tree.link("conf/links2/outdir", "../../outside/dir");
}

}  // namespace quillmere::directives::testing
