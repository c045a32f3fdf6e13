// firebase 12.19 declares Timestamp.fromInstant/toInstant with the global Temporal namespace, which
// TypeScript 5.x ships no lib for. Declaring just that name keeps skipLibCheck off, so the SDK's own
// declarations are checked too.
declare namespace Temporal {
  interface Instant {
    readonly epochNanoseconds: bigint;
  }
}
