#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Stand-in preprocessor that always fails.
exit 1
