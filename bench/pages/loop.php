<HTML><?php
$i = 0;
$s = "";
while ($i < 100000) {
  $i = $i + 1;
  $s .= "x";
}
echo "\n$i passes, ", strlen($s), " characters\n";
