# shellcheck shell=bash
# Helpers shared by the export checks (sourced, not run).
#
# The expected list holds one "ordinal name" pair a line; '#' starts a comment.

# Prints an error in a form that stands out in CI logs, then exits 1.
die() {
  echo "EXPORT CHECK FAILED: $*" >&2
  exit 1
}

# Prints the expected list as "ordinal name" lines after checking that it is
# itself sound: ordinals 1..N without gaps, names in byte-wise alphabetical
# order, no duplicates. A list that breaks these rules would make every other
# check meaningless, so it fails first.
read_expected_exports() {
  local file=$1
  [[ -r $file ]] || die "expected export list '$file' not readable"
  local list
  list=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$file" | awk '{print $1, $2}')
  [[ -n $list ]] || die "expected export list '$file' is empty"
  local names sorted
  names=$(awk '{print $2}' <<<"$list")
  sorted=$(LC_ALL=C sort -u <<<"$names")
  if [[ $names != "$sorted" ]]; then
    echo "$file: names are not unique and in alphabetical order:" >&2
    diff -u <(echo "$sorted") <(echo "$names") >&2 || true
    die "expected export list '$file' is malformed"
  fi
  local ordinals numbered
  ordinals=$(awk '{print $1}' <<<"$list")
  numbered=$(seq 1 "$(wc -l <<<"$list")")
  [[ $ordinals == "$numbered" ]] || die "ordinals in '$file' are not 1..N in order"
  echo "$list"
}

# Compares two texts line by line; on a difference prints a unified diff
# (expected first) under a heading and fails.
compare_or_die() {
  local what=$1 expected=$2 actual=$3
  if [[ $expected != "$actual" ]]; then
    echo "---- $what: expected (-) versus found (+) ----" >&2
    diff -u --label expected --label found <(echo "$expected") <(echo "$actual") >&2 || true
    die "$what differs from the expected list"
  fi
}
