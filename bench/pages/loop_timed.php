<?php
// The loop of loop.php, timed inside PHP: its own time in ms, for N passes.
$n = (int)($argv[1] ?? 100000);
$t = hrtime(true);
$i = 0;
$s = "";
while ($i < $n) {
  $i = $i + 1;
  $s .= "x";
}
printf("%.3f\n", (hrtime(true) - $t) / 1e6);
