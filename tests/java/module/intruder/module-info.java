// SPDX-License-Identifier: Apache-2.0
// A module that reaches into the runtime's implementation: it must not compile.
module intruder {
    requires kelvaro.zelt;
}
