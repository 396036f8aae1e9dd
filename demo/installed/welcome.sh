#!/bin/sh
# Opened once per workstation after the product's update: leaves a note next to itself.
cd "$(dirname "$0")" || exit 1
echo "Welcome to the updated Brinquet Express ($(date '+%Y-%m-%d %H:%M:%S'))" >> welcome.txt
