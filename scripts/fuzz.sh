#!/usr/bin/env bash
# Bounded fuzzing run of the libFuzzer targets (see fuzz/run.sh).
exec bash "$(dirname "$0")/../fuzz/run.sh"
