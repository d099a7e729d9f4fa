#pragma once

// Waits `milliseconds` while the event loop keeps running, so received bytes,
// timer ticks and clicks are handled during the wait. Sleeps between events
// instead of spinning. 0 (or less) returns at once without handling anything.
void DelayMs(int milliseconds);
