<HTML><?php
// The same work as image.kwl: load, resize smoothly, draw a text bottom right, save a JPEG.
$font = '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf';
$src = imagecreatefromjpeg('photo.jpg');
$dst = imagecreatetruecolor(800, 600);
imagealphablending($dst, false);
imagesavealpha($dst, true);
imagecopyresampled($dst, $src, 0, 0, 0, 0, 800, 600, imagesx($src), imagesy($src));
imagedestroy($src);
$white = imagecolorresolvealpha($dst, 255, 255, 255, 0);
$box = imagettfbbox(24, 0, $font, 'Summer 2026');
imagettftext($dst, 24, 0, 800 - $box[4], 600 - 5 + $box[1], $white, $font, 'Summer 2026');
imagejpeg($dst, 'out_php.jpg', 90);
echo imagesx($dst), 'x', imagesy($dst), "\n";
