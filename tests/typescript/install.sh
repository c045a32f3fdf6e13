#!/usr/bin/env bash
# Installs the pinned TypeScript, Firebase SDK and JSON conformance cases, unless node_modules
# already holds what package.json and the lock file name.
set -euo pipefail
command -v npm >/dev/null || { echo "install.sh: npm not found on PATH; install Node.js with npm" >&2; exit 1; }
cd "$(dirname "$0")"
stamp=node_modules/.brenvale-install-stamp
want="$(cat package.json package-lock.json | sha256sum | cut -d' ' -f1)"
[[ -x node_modules/.bin/tsc && "$(cat "$stamp" 2>/dev/null)" == "$want" ]] && exit 0
# Lifecycle scripts are not needed to read type declarations, and some of them read the environment.
npm ci --ignore-scripts --no-audit --no-fund
echo "$want" >"$stamp"
