#!/usr/bin/env bash
# Checks that a program's --help and the OPTIONS section of its manual page
# name the same long options, so neither falls behind the other.
#   help_matches_man.sh PROGRAM PAGE.scd
set -euo pipefail
program=$1
page=$2

from_help=$("$program" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
from_page=$(sed -n '/^# OPTIONS/,/^# [A-Z]/p' "$page" | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
if [[ -z "$from_help" ]]; then
  echo "$(basename "$program") --help names no options"
  exit 1
fi
if [[ "$from_help" != "$from_page" ]]; then
  echo "$(basename "$program") --help and $(basename "$page") disagree:"
  diff <(echo "$from_help") <(echo "$from_page") | sed -n -e 's/^< /  only in --help: /p' -e 's/^> /  only in the page: /p'
  exit 1
fi
echo "$(basename "$program"): $(echo $from_help)"
