#!/bin/bash
# Stand-in preprocessor that always fails.
exit 1
