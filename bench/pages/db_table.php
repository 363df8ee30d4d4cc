<HTML><HEAD>
<meta name="generator" content="KWL Technologies v3.8rc6"><TITLE>bench_rows</TITLE></HEAD><BODY>
<?php
$db = new mysqli(getenv('KWL_DB_HOST'), getenv('KWL_DB_USER'), getenv('KWL_DB_PASSWORD'),
                 getenv('KWL_DB_NAME'), (int)getenv('KWL_DB_PORT'));
?>
<TABLE>
<TR><TH>id</TH><TH>name</TH><TH>price</TH><TH>note</TH></TR>
<?php $result = $db->query("SELECT id, name, price, note FROM bench_rows ORDER BY id");
while ($row = $result->fetch_row()) { ?><TR><TD><?=$row[0]?></TD><TD><?=$row[1]?></TD><TD><?=$row[2]?></TD><TD><?=$row[3]?></TD></TR>
<?php } ?></TABLE>
<P><?=$result->num_rows?> rows</P>
</BODY></HTML>
