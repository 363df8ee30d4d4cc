<?php
session_name('velsessionid');
session_start();
$_SESSION['visits'] = ($_SESSION['visits'] ?? 0) + 1;
$title = 'Products';
include 'layout.php';
$db = new mysqli(getenv('KWL_DB_HOST'), getenv('KWL_DB_USER'), getenv('KWL_DB_PASSWORD'),
                 getenv('KWL_DB_NAME'), (int)getenv('KWL_DB_PORT'));
?>
<TABLE>
<?php $result = $db->query("SELECT id, name, price, stock FROM products ORDER BY id LIMIT 10");
while ($row = $result->fetch_row()) { ?><TR><TD><A HREF="/item?id=<?=$row[0]?>"><?=$row[1]?></A></TD><TD><?=$row[2]?></TD><TD><?=$row[3]?></TD></TR>
<?php } ?></TABLE>
</BODY></HTML>
