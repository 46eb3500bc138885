# SPDX-License-Identifier: Apache-2.0
mkdir dir.x
