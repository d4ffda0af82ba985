#!/usr/bin/env bash
# FTP benchmarks on loopback against vsftpd, each with its reference in the same run:
#  1. one 200 MiB file: the FTP client alone, and the program's main window
#     synchronising it (with the longest wait of a probe that asks the window
#     something every 10 ms), against curl -P 127.0.0.1 -T
#  2. 1,000 files of 4 KiB synchronised by the main window, against lftp mirror -R
#     (both in active mode), and by the main window under temporary names
# Run by hand after scripts/build x86_64: bench/ftp/run.sh [runs, default 3]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=${TK_BUILD_ROOT:-build}
arch=${TK_BENCH_ARCH:-x86_64}  # i686: the 32-bit release build
runs=${1:-3}
work=$(mktemp -d /tmp/tkbench.XXXXXX)
state=$work/servers
source scripts/services.sh
trap 'scripts/ftp-servers stop "$state" >/dev/null 2>&1; stop_services; rm -rf "$work"' EXIT
start_display >/dev/null
start_wine "$PWD/$root/$arch/wineprefix" >/dev/null
scripts/ftp-servers start "$state" >/dev/null
port=$(awk '$1 == "vsftpd" {print $2}' "$state/ports.txt")
pub=$state/vsroot/pub
winpath() { echo "Z:${1//\//\\}"; }
now() { date +%s.%N; }
bench() { wine "$root/$arch/bench/$1" "${@:2}" </dev/null 2>/dev/null | tr -d '\r'; }

mkdir -p "$work/big" "$work/many"
head -c $((200 * 1024 * 1024)) /dev/urandom >"$work/big/big.bin"
for i in $(seq 1000); do head -c 4096 /dev/urandom >"$work/many/f$i.dat"; done

echo "== one 200 MiB file"
for run in $(seq "$runs"); do
  rm -rf "${pub:?}"/*
  client=$(bench ftp_bench.exe "$(winpath "$work/big")" "$port" pub/client | awk '{print $3}')
  cmp -s "$work/big/big.bin" "$pub/client/big.bin" || echo "client: stored copy differs"
  line=$(bench ftp_sync_bench.exe "$(winpath "$work/big")" "$port" pub/program)
  program=$(echo "$line" | awk '{print $2}')
  wait_ms=$(echo "$line" | awk '{print $7}')
  cmp -s "$work/big/big.bin" "$pub/program/big.bin" || echo "program: stored copy differs"
  t0=$(now)
  curl -s -P 127.0.0.1 -T "$work/big/big.bin" "ftp://127.0.0.1:$port/pub/curl/" --ftp-create-dirs
  t1=$(now)
  cmp -s "$work/big/big.bin" "$pub/curl/big.bin" || echo "curl: stored copy differs"
  curl_s=$(echo "$t1 - $t0" | bc -l)
  printf "run %d: curl %.2f s; client %.2f s (%.2f x curl); program %.2f s (%.2f x curl), window's longest wait %s ms\n" \
    "$run" "$curl_s" "$client" "$(echo "$curl_s / $client" | bc -l)" "$program" \
    "$(echo "$curl_s / $program" | bc -l)" "$wait_ms"
done

echo "== 1,000 files of 4 KiB"
for run in $(seq "$runs"); do
  rm -rf "${pub:?}"/*
  line=$(bench ftp_sync_bench.exe "$(winpath "$work/many")" "$port" pub/program)
  ours=$(echo "$line" | awk '{print $2}')
  n=$(ls "$pub/program" | wc -l)
  t0=$(now)
  lftp -e "set ftp:passive-mode off; set ftp:port-ipv4 127.0.0.1; mirror -R $work/many pub/lftp; quit" \
    -u anonymous, "ftp://127.0.0.1:$port" >/dev/null 2>&1
  t1=$(now)
  m=$(ls "$pub/lftp" | wc -l)
  lftp_s=$(echo "$t1 - $t0" | bc -l)
  printf "run %d: lftp %.2f s (%d files); program %.2f s (%d files, %.2f x lftp), window's longest wait %s ms\n" \
    "$run" "$lftp_s" "$m" "$ours" "$n" "$(echo "$lftp_s / $ours" | bc -l)" "$(echo "$line" | awk '{print $7}')"
  # The same with each file under a temporary name, then renamed; none may stay behind.
  line=$(bench ftp_sync_bench.exe "$(winpath "$work/many")" "$port" pub/safe safe)
  safe=$(echo "$line" | awk '{print $2}')
  printf "run %d: under temporary names %.2f s (%d files, %d left as .tkp, %.2f x in place)\n" \
    "$run" "$safe" "$(ls "$pub/safe" | grep -vc '[.]tkp$' || true)" "$(ls "$pub/safe" | grep -c '[.]tkp$' || true)" \
    "$(echo "$ours / $safe" | bc -l)"
done
