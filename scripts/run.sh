#!/usr/bin/env bash
# Sets up, builds and runs the patcher. Arguments go to kelm-patch (default: --help).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" linux >/dev/null
if [ "$#" -eq 0 ]; then set -- --help; fi
exec "$here/build/linux/bin/kelm-patch" "$@"
