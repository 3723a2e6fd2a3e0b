#!/usr/bin/env bash
# End-to-end run of the tiepic-db tool: create, append, find, check, dump,
# and the exit status of each outcome. Usage: tiepic_db_test.sh TOOL
set -u
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

expect_status() {  # expected-status description command...
  local want=$1 what=$2
  shift 2
  "$@" >"$dir/out" 2>&1
  local got=$?
  [[ $got == "$want" ]] || { cat "$dir/out"; fail "$what: exit $got, expected $want"; }
}

db=$dir/相册
expect_status 0 "create" "$tool" create "$db"
[[ -f $db.EDB ]] || fail "create made no $db.EDB"
expect_status 0 "append" "$tool" append "$db" 101 102 图片一 102
grep -q "present 102" "$dir/out" || fail "a present id was not reported"
[[ $(grep -c appended "$dir/out") == 3 ]] || fail "three ids should be appended"
[[ -f $db.ENX ]] || fail "append left no index beside the database"
expect_status 0 "find present" "$tool" find "$db" 图片一
expect_status 1 "find missing" "$tool" find "$db" 999
expect_status 0 "check" "$tool" check "$db"
expect_status 0 "dump" "$tool" dump "$db"
grep -q 'photo_id="图片一"' "$dir/out" || fail "dump lacks the record"
grep -q "block 1 (root): leaf, 3 keys" "$dir/out" || fail "dump lacks the tree"
printf 'xy' >>"$db.EDB"
expect_status 1 "check of a cut record" "$tool" check "$db"
grep -q "partial record of 2 bytes" "$dir/out" || fail "check did not name the partial record"
expect_status 2 "find in a missing database" "$tool" find "$dir/none" 1
grep -q "error -3: 指定文件未找到" "$dir/out" || fail "failure without code and message"
printf 'not a database at all, not even close to one.......................................................................' >"$dir/bad.EDB"
expect_status 2 "check of a non-database" "$tool" check "$dir/bad"
grep -q "error -22" "$dir/out" || fail "non-database not reported as -22"
expect_status 2 "usage" "$tool" frobnicate "$db"
echo "tiepic-db: all checks passed"
