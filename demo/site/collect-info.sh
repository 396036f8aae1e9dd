#!/bin/sh
# Writes a little about this workstation next to itself, as a support script would.
cd "$(dirname "$0")" || exit 1
{
  echo "collected $(date '+%Y-%m-%d %H:%M:%S')"
  uname -sr
} > collect-info.txt
