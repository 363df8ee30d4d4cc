<?php
session_name('velsessionid');
session_start();
$_SESSION['n'] = ($_SESSION['n'] ?? 0) + 1;
$_SESSION['total'] = ($_SESSION['total'] ?? 0) + 12;
$_SESSION['last'] = 'Assam tea, 250 g';
$_SESSION['user'] = 'visitor';
?><HTML><BODY>Cart: <?=$_SESSION['n']?> items, <?=$_SESSION['total']?> EUR, last: <?=$_SESSION['last']?> (<?=$_SESSION['user']?>)</BODY></HTML>
