#!/usr/bin/env bash
# Runs a JVM for the tests. With --check-jni the JVM runs under -Xcheck:jni
# and any JNI warning it prints fails the run. With --quiet-log the host
# liblog's records (stderr lines starting "tagName E") are dropped.
set -uo pipefail
check_jni=0
quiet_log=0
while [ $# -gt 0 ]; do
  case $1 in
    --check-jni) check_jni=1; shift ;;
    --quiet-log) quiet_log=1; shift ;;
    *) break ;;
  esac
done
if [ $quiet_log = 1 ]; then
  exec 2> >(grep -v '^tagName E ' >&2)
fi
java_bin=$1
shift
if [ $check_jni = 1 ]; then
  output=$("$java_bin" -Xcheck:jni "$@" 2>&1)
  status=$?
  printf '%s\n' "$output"
  if grep -E 'WARNING in native method|FATAL ERROR in native method' <<<"$output" >/dev/null; then
    echo "JNI check: the JVM reported a JNI warning" >&2
    exit 1
  fi
  exit $status
fi
exec "$java_bin" "$@"
