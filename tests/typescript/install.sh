#!/usr/bin/env bash
# Installs the pinned TypeScript and Firebase SDK for the generated-code type check.
# Re-runs `npm ci` only when node_modules is missing or older than the lock file.
set -euo pipefail
if ! command -v npm >/dev/null 2>&1; then
  echo "install.sh: npm not found on PATH; install Node.js (with npm) to type-check generated TypeScript" >&2
  exit 1
fi
cd "$(dirname "$0")"

stamp=node_modules/.brenvale-install-stamp
want="$(cat package.json package-lock.json | sha256sum | cut -d' ' -f1)"
if [[ -x node_modules/.bin/tsc && -f "$stamp" && "$(cat "$stamp")" == "$want" ]]; then
  exit 0
fi

# Lifecycle scripts are not needed to read type declarations, and some of them read the environment.
npm ci --ignore-scripts --no-audit --no-fund
echo "$want" >"$stamp"
