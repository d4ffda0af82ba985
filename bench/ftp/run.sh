#!/usr/bin/env bash
# FTP upload benchmarks on loopback, against vsftpd in one run:
#  1. one 200 MiB file: the program's client vs curl -P 127.0.0.1 -T
#  2. 1,000 files of 4 KiB in one batch: the program's client vs lftp mirror -R
# Run by hand after scripts/build x86_64: bench/ftp-bench.sh [build root]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${1:-build}
work=$(mktemp -d /tmp/tkbench.XXXXXX)
state=$work/servers
source scripts/services.sh
trap 'scripts/ftp-servers stop "$state"; stop_services; rm -rf "$work"' EXIT
start_display >/dev/null
start_wine "$PWD/$root/x86_64/wineprefix" >/dev/null
scripts/ftp-servers start "$state" >/dev/null
port=$(awk '/^vsftpd/{print $2}' "$state/ports.txt")
pub=$state/vsroot/pub
winpath() { echo "Z:${1//\//\\}"; }
now() { date +%s.%N; }

mkdir -p "$work/big" "$work/many"
head -c $((200 * 1024 * 1024)) /dev/urandom >"$work/big/big.bin"
for i in $(seq 1000); do head -c 4096 /dev/urandom >"$work/many/f$i.dat"; done

echo "== one 200 MiB file"
for run in 1 2 3; do
  rm -rf "$pub"/*
  ours=$(wine "$root/x86_64/bench/ftp_bench.exe" "$(winpath "$work/big")" "$port" pub/tk </dev/null 2>/dev/null | awk '{print $3}')
  cmp -s "$work/big/big.bin" "$pub/tk/big.bin" || echo "ours: stored copy differs"
  t0=$(now)
  curl -s -P 127.0.0.1 -T "$work/big/big.bin" "ftp://127.0.0.1:$port/pub/curl/" --ftp-create-dirs
  t1=$(now)
  cmp -s "$work/big/big.bin" "$pub/curl/big.bin" || echo "curl: stored copy differs"
  curl_s=$(echo "$t1 - $t0" | bc -l)
  printf "run %d: ours %.2f s (%.1f MiB/s), curl %.2f s (%.1f MiB/s), ratio ours/curl %.2f\n" \
    "$run" "$ours" "$(echo "200 / $ours" | bc -l)" "$curl_s" "$(echo "200 / $curl_s" | bc -l)" \
    "$(echo "$ours / $curl_s" | bc -l)"
done

echo "== one 200 MiB file, the client's read and send block raised from 1,024 bytes"
for block in 4096 16384 65536; do
  rm -rf "$pub"/*
  ours=$(wine "$root/x86_64/bench/ftp_bench.exe" "$(winpath "$work/big")" "$port" pub/tk "$block" </dev/null 2>/dev/null | awk '{print $3}')
  cmp -s "$work/big/big.bin" "$pub/tk/big.bin" || echo "ours: stored copy differs"
  printf "block %6d: ours %.2f s (%.1f MiB/s)\n" "$block" "$ours" "$(echo "200 / $ours" | bc -l)"
done

echo "== 1,000 files of 4 KiB"
for run in 1 2 3; do
  rm -rf "$pub"/*
  ours=$(wine "$root/x86_64/bench/ftp_bench.exe" "$(winpath "$work/many")" "$port" pub/tk </dev/null 2>/dev/null | awk '{print $3}')
  n=$(ls "$pub/tk" | wc -l)
  t0=$(now)
  lftp -e "set ftp:passive-mode off; set ftp:port-ipv4 127.0.0.1; mirror -R $work/many pub/lftp; quit" \
    -u anonymous, "ftp://127.0.0.1:$port" >/dev/null 2>&1
  t1=$(now)
  m=$(ls "$pub/lftp" | wc -l)
  lftp_s=$(echo "$t1 - $t0" | bc -l)
  printf "run %d: ours %.2f s (%d files), lftp %.2f s (%d files), ratio ours/lftp %.2f\n" \
    "$run" "$ours" "$n" "$lftp_s" "$m" "$(echo "$ours / $lftp_s" | bc -l)"
done
