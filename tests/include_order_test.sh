#!/usr/bin/env bash
# Every include in src/ points down the order below (README, "Layout"), and the core
# includes nothing of the machine.   include_order_test.sh SOURCE_DIR
set -euo pipefail
order=(core present sound save script reader engine platform)
rank() {
  local i
  for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
cd "$1/src"
bad=0
while IFS=: read -r file line text; do
  from=${file%%/*}
  to=${text#*\"}
  to=${to%%/*}
  from_rank=$(rank "$from") to_rank=$(rank "$to")
  if [ "$from_rank" -lt 0 ] || [ "$to_rank" -lt 0 ]; then
    echo "src/$file:$line: $from or $to is not in the order (${order[*]})"
    bad=1
  elif [ "$to_rank" -gt "$from_rank" ]; then
    echo "src/$file:$line: $from/ includes ${text#*#include } from $to/, which comes after it"
    bad=1
  fi
done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "[a-z_]*/' .  | sed 's#^\./##')
while IFS=: read -r file line text; do
  echo "src/$file:$line: the core includes ${text#*#include } (the machine's business: core/machine.h)"
  bad=1
done < <(grep -rn --include='*.h' --include='*.cpp' -E \
  '^#include <(iconv\.h|fontconfig/|png\.h|sys/inotify\.h|sys/mman\.h|dlfcn\.h|thread>|mutex>|condition_variable>|pthread\.h|sys/stat\.h|dirent\.h|SDL\.h|SDL_(video|events|audio|mixer|render|keyboard|mouse)\.h)' \
  core present sound save script reader engine)
exit $bad
