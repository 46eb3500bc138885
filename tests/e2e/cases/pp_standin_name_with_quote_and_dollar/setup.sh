# SPDX-License-Identifier: Apache-2.0
# The stand-in preprocessor that the cases of this kind share.
cp "$CASE_DIR/../../standin-cpp.sh" cpp.sh
