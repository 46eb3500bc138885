// SPDX-License-Identifier: Apache-2.0
// An application module that uses classes vorlith generated into its
// package com.example.kv, as the README shows it.
module app {
    requires kelvaro.zelt;
    exports com.example.kv to kelvaro.zelt;
}
